#!/usr/bin/env bash
# The content rules as the build ships them: the built DataBase.ref carries both rule sets, loads
# and verifies; "rules list" names the rules of both sets with none refused; "rules match" with
# the shipped rule files reports no match over Wine's own DLLs and exits 0; a file made from a
# shipped stealer rule's strings is matched, also through a folder and the JSON report.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-rules
source "$(dirname "$0")/cli_support.bash"

data=$(sed -n 's/^PELLORA_DATA_DIR:PATH=//p' "$build/CMakeCache.txt")
[ -n "$data" ] && [ -d "$data/rules/elastic" ] && [ -f "$data/rules/ditekshen/malware.yar" ] || {
    echo "SKIP: the build's data folder has no rule sets"
    exit 0
}
cp "$app/DataBase.ref" "$work/app/DataBase.ref"
"$run" "$work/app/pellora-db.exe" check --locked "$(winpath "$work/app/DataBase.ref")" </dev/null >"$work/check.out" 2>&1 ||
    fail "pellora-db check --locked: $(tr -d '\r' <"$work/check.out" | tail -5)"

cli rules list
expect_status 0 "rules list"
tr -d '\r' <"$work/out" >"$work/list.txt"
for set in ditekshen elastic; do
    count=$(sed -n "s/^set $set: \\([0-9]*\\) rules, 0 refused$/\\1/p" "$work/list.txt")
    [ -n "$count" ] && [ "$count" -gt 500 ] || fail "rules list shows no set $set of its rules: $(grep '^set' "$work/list.txt")"
done
grep -q '^  Windows_Trojan_RedLineStealer_17ee6a17 ' "$work/list.txt" || fail "rules list lacks a shipped rule"
grep -q '^refused:' "$work/list.txt" && fail "rules list names refused rules: $(grep '^refused:' "$work/list.txt" | head -3)"

# Wine's own DLLs: not one match.
rules=$(winpath "$data/rules")
cli rules match --json "$(winpath "$work/system32.json")" "$rules" 'C:\windows\system32'
expect_status 0 "rules match over C:\\windows\\system32"
[ ! -s "$work/out" ] || fail "shipped rules matched Wine's own files: $(tr -d '\r' <"$work/out" | head -5)"
python3 - "$work/system32.json" <<'PY' || fail "the match over C:\windows\system32 read too few files"
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
print(f"rules match over C:\\windows\\system32: {report['rules']} rules, {report['files']} files, "
      f"{len(report['skipped'])} skipped", file=sys.stderr)
sys.exit(0 if report["rules"] == 1384 and report["files"] > 500 and not report["matches"] else 1)
PY

# A file holding one of the strings the RedLine rule needs, whole words apart.
mkdir -p "$work/planted/deeper"
printf 'MZ\nRedLine.Logic.SQLite\n' >"$work/planted/deeper/stealer.bin"
printf 'RedLine.Logic.SQLiteX\n' >"$work/planted/near-miss.bin"
planted=$(winpath "$work/planted")
cli rules match --json "$(winpath "$work/match.json")" "$(winpath "$data/rules/elastic/Windows_Trojan_RedLineStealer.yar")" "$planted"
expect_status 0 "rules match over the planted files"
tr -d '\r' <"$work/out" >"$work/match.txt"
grep -qxF "Windows_Trojan_RedLineStealer_17ee6a17 $planted\\deeper\\stealer.bin" "$work/match.txt" ||
    fail "the planted stealer was not matched: $(cat "$work/match.txt")"
grep -q "near-miss" "$work/match.txt" && fail "a string without its word boundary matched"
python3 - "$work/match.json" <<'PY' || fail "the JSON report does not hold the match"
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
assert report["refused"] == [] and report["files"] == 2, report
assert [m["rule"] for m in report["matches"]] == ["Windows_Trojan_RedLineStealer_17ee6a17"], report
PY

# A rule that is refused is named, the others still match, and the exit code is 1.
printf 'rule broken { strings: $a = "x" xor condition: $a }\nrule plain { strings: $a = "RedLine" condition: $a }\n' \
    >"$work/mixed.yar"
cli rules match "$(winpath "$work/mixed.yar")" "$planted"
expect_status 1 "rules match with a refused rule"
grep -q "rule refused: .*mixed.yar:1: rule broken: " "$work/err.txt" || fail "the refused rule was not named: $(cat "$work/err.txt")"
grep -q "^plain " "$work/out" || fail "the rule that compiled did not match"
cli rules match "$(winpath "$work/missing.yar")" "$planted"
expect_status 2 "rules match with no rule file"
echo "content rules ship, load and match: ok"
