#!/usr/bin/env bash
# pellora-cli.exe on a planted Chrome profile (an extension folder and its entry in Secure
# Preferences, beside a good extension) and a hijacked home page: the scan finds the three places,
# the removal takes out only them (the files stay valid JSON with every other member), a scan
# after it finds nothing, and restoring the package puts the folder and the members back.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-browsers
source "$(dirname "$0")/cli_support.bash"

# The user's local application data of this prefix, as a Unix path.
local_windows=$("$run" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' \
    /v "Local AppData" </dev/null | tr -d '\r' | sed -n 's/^ *Local AppData *REG_SZ *//p')
[ -n "$local_windows" ] || fail "no Local AppData shell folder in this Wine prefix"
local_unix=$("$run" winepath -u "$local_windows" </dev/null | tr -d '\r')
chrome="${local_unix%/}/Google/Chrome/User Data"
[ ! -e "$chrome" ] || fail "a Chrome profile is already in this prefix: $chrome"
cleanup_chrome() {
    rm -rf "${local_unix%/}/Google"
    cleanup
}
trap cleanup_chrome EXIT

bad=kpkdlmdmnpkbpeaoffeplgemmjmiegmp
good=aapocclcgogkmnckokdopfmhonfmgoek
mkdir -p "$chrome/Default/Extensions/$bad/1.0_0" "$chrome/Default/Extensions/$good/2.0_0"
printf '{"name":"Bad Helper","version":"1.0"}' >"$chrome/Default/Extensions/$bad/1.0_0/manifest.json"
printf '{"name":"Slides","version":"2.0"}' >"$chrome/Default/Extensions/$good/2.0_0/manifest.json"
printf '{"extensions":{"settings":{"%s":{"location":1},"%s":{"location":1}}},"protection":{"macs":{"extensions":{"settings":{"%s":"A1","%s":"B2"}}},"super_mac":"C3"}}' \
    "$bad" "$good" "$bad" "$good" >"$chrome/Default/Secure Preferences"
printf '{"homepage":"http://www.%s-search.example/","browser":{"show_home_button":true}}' "$tag" \
    >"$chrome/Default/Preferences"
cp "$chrome/Default/Secure Preferences" "$work/secure.before"
cp "$chrome/Default/Preferences" "$work/preferences.before"

# A classic item beside them (a database needs one), naming nothing on this system.
write_database \
    "regkey|$regkey|Adware.Marker|" \
    "extension|$bad|Extension.Malicious: Bad Helper|" \
    "hijack|$tag-search|Hijack.Search: $tag|"

cli scan --json "$(winpath "$work/scan.json")"
expect_status 1 "scan"
python3 - "$work/scan.json" "$bad" <<'PY' || fail "the scan's report: $(cat "$work/scan.json")"
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
rows = json.dumps(report)
bad = sys.argv[2]
for text in (f'extension \\"Bad Helper\\" ({bad}) in ', f"Secure Preferences: extensions.settings.{bad}",
             "Preferences: homepage", "Chrome, profile Default"):
    if text not in rows:
        sys.exit(f"missing: {text}")
PY

cli remove
expect_status 0 "remove"
[ ! -e "$chrome/Default/Extensions/$bad" ] || fail "the extension folder is still there"
[ -f "$chrome/Default/Extensions/$good/2.0_0/manifest.json" ] || fail "the good extension went too"
python3 - "$chrome/Default" "$work" "$bad" <<'PY' || fail "the profile files after the removal"
import json, sys
folder, work, bad = sys.argv[1:]
secure = json.load(open(f"{folder}/Secure Preferences", encoding="utf-8"))
expected = json.load(open(f"{work}/secure.before", encoding="utf-8"))
del expected["extensions"]["settings"][bad]
del expected["protection"]["macs"]["extensions"]["settings"][bad]
if secure != expected:
    sys.exit(f"Secure Preferences: {secure}")
preferences = json.load(open(f"{folder}/Preferences", encoding="utf-8"))
if preferences != {"browser": {"show_home_button": True}}:
    sys.exit(f"Preferences: {preferences}")
PY

cli scan
expect_status 0 "scan after remove"

cli quarantine list
expect_status 0 "quarantine list"
package=$(cut -f1 <"$work/out" | tr -d '\r' | head -1)
cli quarantine restore "$package"
expect_status 0 "quarantine restore"
[ -f "$chrome/Default/Extensions/$bad/1.0_0/manifest.json" ] || fail "the extension folder was not restored"
python3 - "$chrome/Default" "$work" <<'PY' || fail "the profile files after the restore"
import json, sys
folder, work = sys.argv[1:]
for name, before in (("Secure Preferences", "secure.before"), ("Preferences", "preferences.before")):
    if json.load(open(f"{folder}/{name}", encoding="utf-8")) != json.load(open(f"{work}/{before}", encoding="utf-8")):
        sys.exit(f"{name} differs from what was planted")
PY
cli scan
expect_status 1 "scan after restore"

echo "pellora-cli on browser finds: ok"
