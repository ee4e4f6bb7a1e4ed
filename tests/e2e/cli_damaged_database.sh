#!/usr/bin/env bash
# A damaged reference database is refused with the reason, never used in silence: the built
# DataBase.ref (its items, its content rules, its trailer line) cut to its first 1,000 bytes, and
# with 1,000 bytes overwritten in the middle, makes "pellora-cli scan" exit 2 and say why; the
# whole one scans; one of the older format (no reserved line, no trailer) scans and says that it
# could not be checked.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-damaged
source "$(dirname "$0")/cli_support.bash"

mkdir -p "$work/empty"
folder=$(winpath "$work/empty")
whole="$work/whole.ref"
cp "$app/DataBase.ref" "$whole"
"$run" "$work/app/pellora-db.exe" check --locked "$(winpath "$whole")" </dev/null >"$work/check.out" 2>&1 ||
    fail "pellora-db check --locked of the built database: $(tr -d '\r' <"$work/check.out" | tail -5)"

scan_with() {
    cp "$1" "$work/app/DataBase.ref"
    cli scan --folder "$folder"
}

scan_with "$whole"
expect_status 0 "scan with the whole database"
grep -q "Objects scanned" "$work/out" || fail "the scan with the whole database printed no counters"

head -c 1000 "$whole" >"$work/cut.ref"
scan_with "$work/cut.ref"
expect_status 2 "scan with a database cut to 1,000 bytes"
grep -q "cannot be used: it was not loaded: DataBase.ref: its trailer line is missing" "$work/err.txt" ||
    fail "the cut database was refused without its reason: $(cat "$work/err.txt")"

python3 - "$whole" "$work/overwritten.ref" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
middle = len(data) // 2
for i in range(middle, middle + 1000):
    if data[i] not in (0x0D, 0x0A):
        data[i] = ord("Q")
open(sys.argv[2], "wb").write(bytes(data))
PY
scan_with "$work/overwritten.ref"
expect_status 2 "scan with 1,000 bytes overwritten"
grep -q "does not match the digest of its trailer line" "$work/err.txt" ||
    fail "the overwritten database was refused without its reason: $(cat "$work/err.txt")"

# The older format: the same lines without the serial line and the trailer.
python3 - "$whole" "$work/older.ref" <<'PY'
import sys
lines = open(sys.argv[1], "rb").read().split(b"\r\n")
if lines and lines[-1] == b"":
    lines.pop()
open(sys.argv[2], "wb").write(b"".join(line + b"\r\n" for line in [lines[0]] + lines[2:-1]))
PY
scan_with "$work/older.ref"
expect_status 0 "scan with a database of the older format"
grep -q "could not be checked" "$work/err.txt" || fail "the older database was used without a word: $(cat "$work/err.txt")"
echo "damaged databases are refused with the reason: ok"
