#!/usr/bin/env bash
# pellora-cli.exe under Wine, as a newcomer meets it:
# - a settings file another process holds open (it can be neither written nor replaced): "settings
#   set" exits 2 naming the file, prints no value, and the file keeps its old value; a read-only
#   settings file is saved over as before;
# - "scan" is written to the log DavEre.roz;
# - after "remove", the JSON report's "remaining" and "irremovable" name exactly what is still
#   there: an irremovable file of a folder the run removed is not among them, one elsewhere is,
#   each object once; the removed folder is in the log.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-report-settings
source "$(dirname "$0")/cli_support.bash"
kit="$build/e2e-testkit.exe"

holder=""
stop_all() {
    [ -n "$holder" ] && kill "$holder" 2>/dev/null
    cleanup
}
trap stop_all EXIT

plant="$work/plant"
mkdir -p "$plant/Gator" "$plant/Elsewhere"
printf 'MZ gator' >"$plant/Gator/gator.exe"
printf 'MZ trickler' >"$plant/Gator/trickler.exe"
printf 'MZ bonzi' >"$plant/Elsewhere/BonziBDY.exe"
W=$(winpath "$plant")
write_database \
    "folder|$W\\Gator|Adware.Gator|" \
    "path|$W\\Gator\\gator.exe|Adware.Gator|" \
    "path|$W\\Gator\\trickler.exe|Adware.Gator|http://help.example/gator" \
    "path|$W\\Elsewhere\\BonziBDY.exe|Adware.Bonzi|http://help.example/bonzi"

# Start-up writes the settings files; the interval is 55 from here on.
cli settings set scan-interval 55
expect_status 0 "settings set (55)"
settings="$work/app/Settings/Settings.stg"
before=$(cat "$settings")

"$run" "$kit" hold-file "$(winpath "$settings")" </dev/null >"$work/holder" 2>/dev/null &
holder=$!
wait_until 120 grep -qs held "$work/holder" || fail "the settings file was not held open within 120 s"
cli settings set scan-interval 60
expect_status 2 "settings set while Settings.stg cannot be written"
[ ! -s "$work/out" ] || fail "settings set printed a value it did not save: $(cat "$work/out")"
grep -q "Settings.stg" "$work/err.txt" || fail "the failure does not name the file: $(cat "$work/err.txt")"
kill "$holder"
wait "$holder" 2>/dev/null || true
holder=""
[ "$(cat "$settings")" = "$before" ] || fail "Settings.stg changed although the save failed"

# Read-only: saved over all the same (its attribute is reset first).
"$run" attrib +r "$(winpath "$settings")" </dev/null >/dev/null
cli settings set scan-interval 60
expect_status 0 "settings set over a read-only Settings.stg"
[ "$(tr -d '\r' <"$settings" | sed -n 9p)" = 60 ] || fail "the read-only Settings.stg was not saved over"

# A scan is in the log.
: >"$work/app/DavEre.roz"
cli scan
expect_status 1 "scan"
grep -qF "$W\\Elsewhere\\BonziBDY.exe" "$work/app/DavEre.roz" || fail "the scan was not written to DavEre.roz"

cli remove --json "$(winpath "$work/report.json")"
expect_status 1 "remove (an irremovable object stays)"
[ ! -e "$plant/Gator" ] || fail "the Gator folder was not removed"
[ -f "$plant/Elsewhere/BonziBDY.exe" ] || fail "the irremovable file elsewhere was touched"
python3 - "$work/report.json" "$W" <<'PY'
import json, sys
report, plant = json.load(open(sys.argv[1], encoding="utf-8")), sys.argv[2]
def objects(key):
    return [row["object"] for row in report[key]]
bonzi = plant + "\\Elsewhere\\BonziBDY.exe"
assert report["schema"] == 3, report["schema"]
assert objects("irremovable") == [bonzi], objects("irremovable")
assert objects("remaining") == [bonzi], objects("remaining")
assert "Folder deleted=" + plant + "\\Gator" in report["log"], report["log"]
PY
grep -qF "Folder deleted=$W\\Gator" "$work/app/DavEre.roz" || fail "the removed folder is not in DavEre.roz"
echo "settings, scan log and removal report as expected"
