#!/usr/bin/env bash
# Files found by their contents, under Wine: a program made at test time from the strings of one
# shipped stealer rule, planted below the user's AppData\Roaming, is found by the smart scan,
# removed with a quarantine copy first and restored; the same bytes in a deeper folder than the
# scan walks are not found; a running program whose image holds them is ended and removed.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-content
source "$(dirname "$0")/cli_support.bash"

shipped="${PELLORA_DATA_DIR:-$root/../shared/data}/rules/ditekshen/malware.yar"
[ -f "$shipped" ] || fail "no shipped rules at $shipped (set PELLORA_DATA_DIR)"
rule=MALWARE_Win_PandaStealer
kit="$build/e2e-testkit.exe"

# The rule alone, and bytes that satisfy it: "MZ" and each of its text strings, apart.
python3 - "$shipped" "$rule" "$work/rule.yar" "$work/strings.bin" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
match = re.search(r"^rule " + sys.argv[2] + r"\b.*?^}", text, re.S | re.M)
open(sys.argv[3], "w", encoding="utf-8").write(match.group(0) + "\n")
out = b"MZ\0"
for literal in re.findall(r'^\s*\$\w+\s*=\s*"((?:[^"\\]|\\.)*)"', match.group(0), re.M):
    out += b" " + literal.encode("latin-1").decode("unicode_escape").encode("latin-1") + b" \0"
open(sys.argv[4], "wb").write(out)
EOF

# A database with one plain item and the rule, locked as the build locks the starter one.
printf 'E2E %s\r\npath|C:\\%s-nothing.exe|Adware.None|\r\n' "$tag" "$tag" >"$work/database.txt"
"$run" "$work/app/pellora-db.exe" add-rules "$(winpath "$work/database.txt")" e2e "$(winpath "$work/rule.yar")" \
    </dev/null >/dev/null || fail "pellora-db add-rules"
"$run" "$work/app/pellora-db.exe" lock "$(winpath "$work/database.txt")" "$(winpath "$work/app/DataBase.ref")" \
    </dev/null >/dev/null || fail "pellora-db lock"

appdata=$("$run" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v AppData \
    </dev/null | tr -d '\r' | sed -n 's/^ *AppData *REG_SZ *//p')
[ -n "$appdata" ] || fail "no AppData shell folder"
roaming=$("$run" winepath -u "$appdata" </dev/null | tr -d '\r')
plant="${roaming%/}/$tag"
runner_pid=""
cleanup_content() {
    [ -n "$runner_pid" ] && kill "$runner_pid" 2>/dev/null || true
    rm -rf "$plant"
    cleanup
}
trap cleanup_content EXIT
mkdir -p "$plant/1/2/3/4"
cp "$work/strings.bin" "$plant/stealer.exe"
cp "$work/strings.bin" "$plant/1/2/3/4/too-deep.exe"
W="$appdata\\$tag"

# Scan: only the planted file within three levels is found, by its rule.
cli scan --json "$(winpath "$work/scan.json")"
expect_status 1 "scan"
python3 - "$work/scan.json" "$W" "$rule" <<'EOF'
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
rows = [r for r in report["results"] if r["type"] == "Content"]
objects = sorted(r["object"].lower() for r in rows)
want = [(sys.argv[2] + "\\stealer.exe").lower()]
assert objects == want, ("content rows", objects, want)
assert rows[0]["rule"] == sys.argv[3], rows[0]
assert rows[0]["category"] == "Detects Panda Stealer", rows[0]
assert report["content"]["Files"] >= 1 and report["content"]["Bytes"] > 0, report["content"]
EOF

# Remove with a quarantine copy first; restore brings it back.
cli remove --quarantine
expect_status 0 "remove --quarantine"
[ ! -e "$plant/stealer.exe" ] || fail "the find was not removed"
[ -e "$plant/1/2/3/4/too-deep.exe" ] || fail "a file deeper than the scan walks was removed"
cli quarantine list
package=$(cut -f1 <"$work/out" | tr -d "\r" | head -1)
[ -n "$package" ] || fail "no quarantine package"
cli quarantine restore "$package"
expect_status 0 "quarantine restore"
cmp -s "$work/strings.bin" "$plant/stealer.exe" || fail "the restored file differs"
rm -f "$plant/stealer.exe"

# A running program whose image holds the rule's strings (after its own bytes) is ended first.
cp "$kit" "$plant/updater.exe"
tail -c +3 "$work/strings.bin" >>"$plant/updater.exe"
"$run" "$plant/updater.exe" hold-mutex "$tag" </dev/null >"$work/runner.out" 2>&1 &
runner_pid=$!
wait_until 120 grep -qs held "$work/runner.out" || fail "the planted program did not start within 120 s"
cli remove
expect_status 0 "remove of a running program"
grep -q "Process Killed=.*updater.exe" "$work/out" || fail "the program was not ended ($(cat "$work/out"))"
[ ! -e "$plant/updater.exe" ] || fail "the running program's file was not removed"
wait "$runner_pid" 2>/dev/null || true
runner_pid=""
echo "PASS: $name"
