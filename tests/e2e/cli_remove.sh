#!/usr/bin/env bash
# pellora-cli.exe under Wine in its own copy of the application folder, through its whole cycle
# on planted objects (a program, a folder tree, a registry value, a key tree, a cookie): scan and
# quarantine every result, list and show the package, remove everything (log file, statistics,
# JSON report), scan again and find nothing, restore the package and find everything again,
# then remove with quarantine first and delete that package for good.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-remove
source "$(dirname "$0")/cli_support.bash"

valuekey="${regkey}Values"
cleanup_values() {
    "$run" reg delete "$valuekey" /f >/dev/null 2>&1 || true
    cleanup
}
trap cleanup_values EXIT

plant="$work/plant"
plant_objects() {
    mkdir -p "$plant/Bad" "$plant/Toolbar/Skins"
    printf 'MZ evil' >"$plant/Bad/evil.exe"
    printf 'MZ bar' >"$plant/Toolbar/bar.dll"
    printf 'skin' >"$plant/Toolbar/Skins/blue.skn"
    printf 'cookie' >"$cookies/e2e@$tag.example[1].txt"
    reg_add "$valuekey" /v Loader /d evil.exe
    reg_add "$regkey\\Deep" /v Data /t REG_DWORD /d 7
}
find_cookie_folder
plant_objects

W=$(winpath "$plant")
write_database \
    "path|$W\\Bad\\evil.exe|Adware.Evil|" \
    "folder|$W\\Toolbar|Adware.Evil|" \
    "regval|$valuekey,Loader|Adware.Evil|" \
    "regkey|$regkey|Adware.Evil|" \
    "cookie|$tag.example|Tracking.Evil|"

objects_present() {
    [ -f "$plant/Bad/evil.exe" ] && [ -f "$plant/Toolbar/Skins/blue.skn" ] &&
        [ -f "$cookies/e2e@$tag.example[1].txt" ] && reg_has_key "$regkey\\Deep" &&
        "$run" reg query "$valuekey" /v Loader </dev/null >/dev/null 2>&1
}
objects_absent() {
    [ ! -e "$plant/Bad/evil.exe" ] && [ ! -e "$plant/Toolbar" ] && [ ! -e "$cookies/e2e@$tag.example[1].txt" ] &&
        ! reg_has_key "$regkey" && ! "$run" reg query "$valuekey" /v Loader </dev/null >/dev/null 2>&1
}

# Scan and quarantine every result: the objects stay, the package holds all five.
cli scan --quarantine
expect_status 1 "scan --quarantine"
grep -qx 'Pellora: 5 items quarantined successfully.' "$work/err.txt" || fail "no quarantine message"
grep -q '^ Following items Quarantined:' "$work/out" || fail "no quarantine log lines"
objects_present || fail "quarantining touched the objects"

cli quarantine list
expect_status 0 "quarantine list"
[ "$(wc -l <"$work/out")" = 1 ] || fail "quarantine list: $(cat "$work/out")"
package=$(cut -f1 <"$work/out" | tr -d '\r')
[ "$(cut -f3 <"$work/out" | tr -d '\r')" = 5 ] || fail "the package does not hold 5 items"
cli quarantine show "$package"
expect_status 0 "quarantine show"
[ "$(cut -f1 <"$work/out" | tr -d '\r' | sort | tr '\n' ' ')" = "cookie folder path regkey regval " ] ||
    fail "quarantine show: $(cat "$work/out")"
grep -qF "$W\\Bad\\evil.exe" "$work/out" || fail "quarantine show does not name the program's path"

# Remove: everything goes, the run's log lines are printed and appended to the log file, the
# statistics count the run, and the question about the home page is answered No.
cli remove --json "$(winpath "$work/remove.json")"
expect_status 0 "remove"
objects_absent || fail "remove left objects behind"
tr -d '\r' <"$work/out" >"$work/remove.out"
for line in "File deleted=$W\\Bad\\evil.exe" "Registry value deleted=$valuekey,Loader" \
    "Registry key deleted=$regkey\\Deep" "Registry key deleted=$regkey" "Cookie deleted=e2e@$tag.example[1].txt"; do
    grep -qxF "$line" "$work/remove.out" || fail "remove did not print: $line"
done
grep -q '^Scanning completed on ' "$work/remove.out" || fail "remove did not print the end of the run"
grep -q 'Reset homepage?: .* \[No\]$' "$work/err.txt" || fail "the home-page question was not answered No"
python3 - "$work/remove.json" "$work/app/DavEre.roz" "$work/app/Settings/ScanInfo.stg" <<'EOF' || fail "remove's report, log or statistics"
import json, re, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
log_file = open(sys.argv[2], "rb").read().decode("latin-1")
scan_info = open(sys.argv[3], "rb").read().decode("latin-1").split("\r\n")
assert report["remaining"] == [], report["remaining"]
assert len(report["results"]) == 5, report["results"]
# The log file got exactly the lines of the report's log, then two empty lines, after the entry
# of the scan with --quarantine before it.
entry = "".join(line + "\r\n" for line in report["log"]) + "\r\n\r\n"
assert log_file.endswith(entry), (log_file, report["log"])
assert " Following items Quarantined:" in log_file[: len(log_file) - len(entry)], log_file
assert report["log"][-1].startswith("Scanning completed on "), report["log"][-1]
assert re.fullmatch(r"\d\d-\d\d-\d{4}  \d\d:\d\d:\d\d", scan_info[0]), scan_info
assert scan_info[1] == "1", scan_info
# A program, two files of the folder tree and its sub-folder, a value, three keys, a cookie.
assert int(scan_info[2]) >= 8, scan_info
EOF

cli scan
expect_status 0 "scan after remove"

# Restore: everything is back and found again; the package is gone.
cli quarantine restore "$package"
expect_status 0 "quarantine restore"
grep -qx "Package $package restored." <(tr -d '\r' <"$work/out") || fail "quarantine restore: $(cat "$work/out")"
objects_present || fail "restore did not bring every object back"
[ "$(cat "$plant/Bad/evil.exe")" = "MZ evil" ] || fail "the program came back changed"
cli quarantine list
expect_status 0 "quarantine list after restore"
[ ! -s "$work/out" ] || fail "the restored package is still listed"
cli scan
expect_status 1 "scan after restore"

# Remove with quarantine first: a copy of every row it removes (program, folder, value, key and
# cookie); then delete them.
cli remove --quarantine
expect_status 0 "remove --quarantine"
objects_absent || fail "remove --quarantine left objects behind"
cli quarantine list
[ "$(wc -l <"$work/out")" = 1 ] && [ "$(cut -f3 <"$work/out" | tr -d '\r')" = 5 ] ||
    fail "remove --quarantine did not store all five rows: $(cat "$work/out")"
package=$(cut -f1 <"$work/out" | tr -d '\r')
cli quarantine delete "$package" no-such-package
expect_status 2 "quarantine delete of an unknown package"
cli quarantine delete "$package"
expect_status 0 "quarantine delete"
[ ! -e "$work/app/Quarantine/$package" ] || fail "the deleted package is still there"
echo "pellora-cli remove, quarantine and restore: ok"
