#!/usr/bin/env bash
# pellora-cli.exe under Wine in its own copy of the application folder: a scan in each mode over
# objects planted for this run (files and folders, a file below the system drive, a cookie,
# registry keys and values), the JSON report and standard output checked field by field against
# what was planted, the mode of the command line never saved, and the exit codes of a clean
# scan, a missing database and refused command lines.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-scan
source "$(dirname "$0")/cli_support.bash"

plant="$work/plant"
mkdir -p "$plant/Bad" "$plant/Toolbar" "$disk/Deep"
printf 'MZ' >"$plant/Bad/evil.exe"
printf 'tmp' >"$plant/Bad/Setup.tmp"
printf 'MZ' >"$plant/Toolbar/bar.dll"
printf 'x' >"$disk/Deep/$tag.tmp"
find_cookie_folder
printf 'cookie' >"$cookies/e2e@$tag.example[1].txt"
reg_add "$regkey\\Run" /v Loader /d evil.exe
reg_add "$regkey\\Deep"

W=$(winpath "$plant")
write_database \
    "path|$W\\Bad\\evil.exe|Adware.Evil|" \
    "folder|$W\\Toolbar|Adware.Evil|" \
    "regval|$regkey\\Run,Loader|Adware.Evil|" \
    "regkey|$regkey|Adware.Evil|" \
    "cookie|$tag.example|Tracking.Evil|" \
    "file|$tag.tmp|Adware.Evil|" \
    "regsearch|$tag\\Deep|Adware.Evil|" \
    "path|$W\\Bad\\Setup.tmp|Adware.Manual|http://help.example/manual"

# First start: the settings files with their defaults (smart scan); then the custom scan's options
# (full hard disk, processes, registry, full registry, cookies) and the folder of the folder scan.
cli settings
expect_status 0 "settings"
printf '1\r\n1\r\n1\r\n0\r\n0\r\n1\r\n1' >"$work/app/Settings/CustomScan.stg"
printf '%s' "$W" >"$work/app/Settings/SelectedFolders.stg"
settings_before=$(cat "$work/app/Settings/Settings.stg")

for mode in smart custom folders; do
    cli scan --mode "$mode" --json "$(winpath "$work/$mode.json")"
    expect_status 1 "scan --mode $mode"
    tr -d '\r' <"$work/out" >"$work/$mode.out"
    [ "$(cat "$work/app/Settings/Settings.stg")" = "$settings_before" ] || fail "scan --mode $mode changed Settings.stg"
    W="$W" TAG="$tag" KEY="$regkey" python3 - "$mode" "$work/$mode.json" "$work/$mode.out" <<'EOF' ||
import json, os, re, socket, sys

mode, report_path, out_path = sys.argv[1:]
W, tag, key = os.environ["W"], os.environ["TAG"], os.environ["KEY"]

def row(type_, category, obj, comment=""):
    return {"type": type_, "category": category, "object": obj, "comment": comment}

evil = row("path", "Adware.Evil", W + "\\Bad\\evil.exe")
toolbar = row("folder", "Adware.Evil", W + "\\Toolbar")
value = row("regval", "Adware.Evil", key + "\\Run,Loader")
regkey = row("regkey", "Adware.Evil", key)
cookie = row("cookie", "Tracking.Evil", "e2e@" + tag + ".example[1].txt")
disk_file = row("file", "Adware.Evil", "C:\\" + tag + "\\Deep\\" + tag + ".tmp")
searched = row("RegKey", "RegKey", key + "\\Deep")
manual = row("path", "Adware.Manual", W + "\\Bad\\Setup.tmp", "http://help.example/manual")
expected = {
    "smart": ([evil, toolbar, value, regkey, cookie], "Smart Scan"),
    "custom": ([evil, toolbar, value, regkey, cookie, disk_file, searched], "Custom Scan"),
    "folders": ([evil, toolbar], "File/Folder Scan"),
}[mode]
results, mode_line = expected

with open(report_path, encoding="utf-8") as f:
    report = json.load(f)
problems = []
def check(what, got, want):
    if got != want:
        problems.append(f"{what}: got {got!r}, expected {want!r}")

check("keys", list(report), ["schema", "machine", "stamp", "mode", "counters", "results", "irremovable", "log"])
check("schema", report["schema"], 3)
# Wine's DNS host name is the machine's own.
check("machine", report["machine"].lower(), socket.gethostname().split(".")[0].lower())
if not re.fullmatch(r"\d{1,2}-\d{1,2}-\d{4}-\d{1,2}-\d{1,2}-\d{1,2}", report["stamp"]):
    problems.append(f"stamp {report['stamp']!r}")
check("mode", report["mode"], mode)
check("results", report["results"], results)
check("irremovable", report["irremovable"], [manual])
counters = report["counters"]
check("counter names", list(counters), ["ScannedObjects", "ObjectsRecognized", "ObjectsIgnored", "NewObjects",
      "ProcessesIdentified", "FilesIdentified", "FoldersIdentified", "RegKeysIdentified", "RegValuesIdentified",
      "RunningProcesses"])
check("ScannedObjects", counters["ScannedObjects"], 8)
check("NewObjects", counters["NewObjects"], len(results) + 1)
check("ObjectsIgnored", counters["ObjectsIgnored"], 0)
check("FoldersIdentified", counters["FoldersIdentified"], 1)
check("RegKeysIdentified", counters["RegKeysIdentified"], {"smart": 1, "custom": 2, "folders": 0}[mode])
check("RegValuesIdentified", counters["RegValuesIdentified"], 0 if mode == "folders" else 1)
if not counters["RunningProcesses"] > 0:
    problems.append("no running processes counted")
log = report["log"]
check("log start", log[1].startswith("Scan process started on "), True)
check("log mode", log[3], "Scan mode: " + mode_line)
check("log header", log[5], f" Scan uncovered following {len(results)} items:")
def line(r, url):
    return "     " + r["type"] + ":" + r["object"] + "   |" + r["category"] + ("   |" + r["comment"] if url else "")
check("log rows", log[6:6 + len(results)], [line(r, False) for r in results])
check("log end", log[-3:], [" Scan uncovered following 1 Iremovable items:", line(manual, True), ""])

with open(out_path, encoding="utf-8") as f:
    out = f.read().split("\n")
check("stdout end", out[-1], "")
out = out[:-1]
check("stdout counters", out[:10], [
    f"Objects scanned: {counters['ScannedObjects']}", f"Objects recognized: {counters['ObjectsRecognized']}",
    f"Objects ignored: {counters['ObjectsIgnored']}", f"New objects: {counters['NewObjects']}",
    f"Processes identified: {counters['ProcessesIdentified']}", f"Files identified: {counters['FilesIdentified']}",
    f"Folders identified: {counters['FoldersIdentified']}", f"Registry Keys identified: {counters['RegKeysIdentified']}",
    f"Registry Values identified: {counters['RegValuesIdentified']}",
    f"Running processes: {counters['RunningProcesses']}"])
check("stdout rows", out[10:], [line(r, False) for r in results] + [line(manual, True)])
if problems:
    print(f"{mode} scan:\n  " + "\n  ".join(problems), file=sys.stderr)
    sys.exit(1)
EOF
        fail "the $mode scan's report"
    [ ! -s "$work/err.txt" ] || fail "scan --mode $mode wrote to standard error: $(cat "$work/err.txt")"
done

# Nothing found: 0; the same with the objects ignored.
write_database "path|$W\\Bad\\nothing.exe|Adware.Evil|"
cli scan
expect_status 0 "scan of a clean system"
write_database "path|$W\\Bad\\evil.exe|Adware.Evil|"
printf 'path|%s\\Bad\\evil.exe|Adware.Evil' "$W" >"$work/app/Settings/IgnoreList.stg"
cli scan
expect_status 0 "scan with the find ignored"
grep -q '^Objects ignored: 1' "$work/out" || fail "the ignored object is not counted"
cli ignore list
expect_status 0 "ignore list"
[ "$(tr -d '\r' <"$work/out")" = "     path:$W\Bad\evil.exe   |Adware.Evil" ] || fail "ignore list: $(cat "$work/out")"

# No database: 2, a message, no report.
rm "$work/app/DataBase.ref"
cli scan --json "$(winpath "$work/none.json")"
expect_status 2 "scan without a database"
grep -q '^pellora-cli: no reference database DataBase.ref in ' "$work/err.txt" || fail "no message for the missing database"
[ ! -s "$work/out" ] || fail "output without a database"
[ ! -e "$work/none.json" ] || fail "a report without a database"
# The commands that need no database go on without it, and without the question.
cli quarantine list
expect_status 0 "quarantine list without a database"
[ ! -s "$work/err.txt" ] || fail "quarantine list without a database: $(cat "$work/err.txt")"

# The command line: help is 0, anything it cannot take is 2 with one line on standard error.
cli scan --help
expect_status 0 "scan --help"
grep -q -- '--quarantine' "$work/out" || fail "scan --help does not describe --quarantine"
for args in "frob" "scan --bogus" "scan --mode deep" "remove --json" "quarantine" "quarantine show"; do
    # shellcheck disable=SC2086
    cli $args
    expect_status 2 "$args"
    [ "$(wc -l <"$work/err.txt")" = 1 ] || fail "pellora-cli $args: not one line on standard error"
    [ ! -s "$work/out" ] || fail "pellora-cli $args: output on standard output"
done
echo "pellora-cli scan: ok"
