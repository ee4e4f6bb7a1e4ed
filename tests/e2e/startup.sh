#!/usr/bin/env bash
# The real Pellora.exe under Wine in a scratch application folder: the first start creates its
# folders and settings, reaches the status panel with the starter database's version, a second
# start ends at once, and WM_CLOSE closes it cleanly with its settings written.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
run="$root/scripts/wine-run"
kit="$build/e2e-testkit.exe"
work="$build/e2e/startup"
shots="$build/screenshots"
rm -rf "$work"
mkdir -p "$work" "$shots"
cp "$app/Pellora.exe" "$app/DataBase.ref" "$work/"
cp -r "$app/Help" "$work/"

fail() { echo "FAIL: $*" >&2; exit 1; }

"$run" "$work/Pellora.exe" </dev/null >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
"$run" "$kit" wait-window "Dozevur Ezavuri" 90000 || fail "the main window did not appear"
sleep 2
if [ -f "${PELLORA_SCREEN_FILE:-}" ]; then
    /usr/bin/convert xwd:"$PELLORA_SCREEN_FILE" png:"$shots/e2e-first-start.png" || true
fi

for folder in Settings Quarantine "Registry Backups"; do
    [ -d "$work/$folder" ] || fail "folder $folder was not created"
done
for file in Settings/ScanInfo.stg Settings/Settings.stg Settings/CustomScan.stg Settings/IgnoreList.stg \
    Settings/SelectedFolders.stg DavEre.roz; do
    [ -f "$work/$file" ] || fail "$file was not created"
done
[ "$(cat "$work/Settings/ScanInfo.stg")" = $'{never}\r\n0\r\n0' ] || fail "ScanInfo.stg default bytes"
[ "$(cat "$work/Settings/CustomScan.stg")" = $'0\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n1' ] || fail "CustomScan.stg default bytes"

# A second start ends at once and leaves the first one running.
before=$(cd "$work" && find . -type f -printf '%p %s %T@\n' | sort)
timeout 60 "$run" "$work/Pellora.exe" </dev/null >/dev/null 2>&1 || fail "the second start did not end by itself"
after=$(cd "$work" && find . -type f -printf '%p %s %T@\n' | sort)
[ "$before" = "$after" ] || fail "the second start touched a file"
kill -0 $pid 2>/dev/null || fail "the first instance ended"

# A setting changed on disk while it runs is written back from memory on close.
printf 'stale' > "$work/Settings/Settings.stg"
"$run" "$kit" close "Dozevur Ezavuri" 60000 || fail "WM_CLOSE did not end the program"
wait $pid || true
trap - EXIT
settings=$(cat "$work/Settings/Settings.stg")
lines=$(printf '%s' "$settings" | awk 'END { print NR }')
[ "$lines" = 11 ] || fail "Settings.stg has $lines lines after closing, expected 11"
case "$settings" in
    *$'\r\nMicrosoft Internet Explorer\r\n30\r\n0\r\n10') ;;
    *) fail "Settings.stg was not written back on close" ;;
esac
echo "start-up and shutdown: ok"
