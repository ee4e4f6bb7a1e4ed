#!/usr/bin/env bash
# The starter database as the build stages it: DataBase.ref checks clean and unlocks to the build's
# database-rules.txt (the plain-text starter database followed by the browser-extension items and
# the content rule items) with "@serial 0" as line 2 and its trailer line last, and pellora-cli
# scans with it, counting every item, the extension and rule items among them, as scanned and
# reporting none of the extension items as found.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-starter-database
source "$(dirname "$0")/cli_support.bash"

cp "$app/DataBase.ref" "$work/app/"
"$run" "$work/app/pellora-db.exe" unlock "$(winpath "$work/app/DataBase.ref")" "$(winpath "$work/unlocked.txt")" \
    </dev/null >/dev/null || fail "pellora-db could not unlock the staged database"
"$run" "$work/app/pellora-db.exe" check --locked "$(winpath "$work/app/DataBase.ref")" </dev/null >"$work/check.txt" ||
    fail "pellora-db check --locked finds problems in the staged database: $(head -5 "$work/check.txt")"
cli settings
expect_status 0 "settings"
cli scan --mode smart --json "$(winpath "$work/smart.json")"
[ "$status" = 0 ] || [ "$status" = 1 ] || fail "scan with the starter database: exit code $status ($(cat "$work/err.txt"))"

python3 - "$build/database-rules.txt" "$work/unlocked.txt" "$work/smart.json" <<'PY' || fail "the starter database"
import json, re, sys

full_path, unlocked_path, report_path = sys.argv[1:]
with open(full_path, encoding="utf-8") as f:
    full = f.read().splitlines()
with open(unlocked_path, encoding="utf-8") as f:
    unlocked = f.read().splitlines()
problems = []
if not any(line.startswith("@") for line in full[1:]):
    full.insert(1, "@serial 0")
if unlocked[:-1] != full or not re.fullmatch(r"@end items=[0-9]+ sha256=[0-9a-f]{64}", unlocked[-1]):
    problems.append("DataBase.ref does not unlock to database-rules.txt and its trailer")
items = [line for line in full[1:] if not line.startswith(("#", "@"))]
extensions = [line for line in items if line.startswith("extension|")]
if len(extensions) < 2000 or not all(re.fullmatch(r"extension\|[a-p]{32}\|[ -{}~]+\|", e) for e in extensions):
    problems.append(f"{len(extensions)} extension items, or one of another form")
with open(report_path, encoding="utf-8") as f:
    report = json.load(f)
if report["counters"]["ScannedObjects"] != len(items):
    problems.append(f"{report['counters']['ScannedObjects']} objects scanned, the database has {len(items)} items")
found = [row for row in report["results"] + report["irremovable"] if row["type"].lower().startswith("exte")]
if found:
    problems.append(f"extension items reported as found: {found[:3]}")
if problems:
    print("\n".join(problems), file=sys.stderr)
    sys.exit(1)
PY
