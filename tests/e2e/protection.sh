#!/usr/bin/env bash
# The real Pellora.exe under Wine with both protections on and a one-minute interval: a start
# page changed by another program is back within 30 seconds, and a planted file is removed by
# the automatic scan about a minute after start, with the log lines of an unattended run (a
# malformed database item is logged, not shown) and no dialog left open.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
run="$root/scripts/wine-run"
kit="$build/e2e-testkit.exe"
work="$build/e2e/protection"
shots="$build/screenshots"
title="Dozevur Ezavuri"
main='HKCU\Software\Microsoft\Internet Explorer\Main'
rm -rf "$work"
mkdir -p "$work/app/Settings" "$work/plant" "$shots"
cp "$app/Pellora.exe" "$app/pellora-db.exe" "$work/app/"
cp -r "$app/Help" "$work/app/"

fail() { echo "FAIL: $*" >&2; exit 1; }
winpath() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); printf 'Z:%s' "${p//\//\\}"; }
# The X server's framebuffer (scripts/with-wine keeps it in a file); `xwd -root` shows Wine's
# pop-ups as black rectangles.
shot() { [ -f "${PELLORA_SCREEN_FILE:-}" ] && /usr/bin/convert xwd:"$PELLORA_SCREEN_FILE" png:"$shots/$1.png" || true; }

printf 'MZ planted' >"$work/plant/evil.dat"
printf 'E2E protection\r\npath|%s|Adware.Evil|\r\nregval|HKCU_BROKEN\\Software\\Run,Evil|Adware.Evil|\r\n' \
    "$(winpath "$work/plant/evil.dat")" >"$work/database.txt"
"$run" "$work/app/pellora-db.exe" lock "$(winpath "$work/database.txt")" "$(winpath "$work/app/DataBase.ref")" \
    </dev/null >/dev/null || fail "pellora-db could not lock the test database"
# Protector on, logging on, protection on, interval 1 minute, smart scan.
printf '0\r\n0\r\n1\r\n1\r\n1\r\n0\r\nhttp://protected.example/\r\nProtected Title\r\n1\r\n0\r\n10' \
    >"$work/app/Settings/Settings.stg"
"$run" reg add "$main" /v "Start Page" /d "http://protected.example/" /f </dev/null >/dev/null || fail "reg add"

"$run" "$work/app/Pellora.exe" </dev/null >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
"$run" "$kit" wait-window "$title" 90000 || fail "the main window did not appear"
started=$SECONDS

# Another program changes the start page and then the title; each is back within 30 seconds
# (one tick of the protector).
sleep 2
sub='Software\Microsoft\Internet Explorer\Main'
ms=$("$run" "$kit" overwrite-and-wait "$sub" "Start Page" "http://hijacker.example/" "http://protected.example/" 31000 \
    </dev/null | tr -d '\r') || fail "the start page was not restored within 31 seconds"
echo "start page restored after $ms ms"
shot e2e-protection-countdown
ms=$("$run" "$kit" overwrite-and-wait "$sub" "Window Title" "Hijacked" "Protected Title" 31000 </dev/null |
    tr -d '\r') || fail "the window title was not restored within 31 seconds"
echo "window title restored after $ms ms"

until [ ! -e "$work/plant/evil.dat" ] && grep -q 'Scanning completed on' "$work/app/DavEre.roz" 2>/dev/null; do
    [ $((SECONDS - started)) -le 100 ] || fail "the planted file was not removed by an automatic scan"
    sleep 1
done
echo "planted file removed $((SECONDS - started)) s after the window appeared"
sleep 2
shot e2e-protection-after-scan
log=$(tr -d '\r' <"$work/app/DavEre.roz")
grep -qxF "File deleted=$(winpath "$work/plant/evil.dat")" <<<"$log" || fail "no 'File deleted=' line: $log"
grep -qxF 'Automatic scan, message not shown: Incorrect Format: HKCU_BROKEN\Software\Run' <<<"$log" ||
    fail "the malformed item was not logged: $log"
"$run" "$kit" no-dialog "$title" 0 || fail "a dialog is open after the automatic scan"
kill -0 $pid 2>/dev/null || fail "the program ended"

"$run" "$kit" close "$title" 60000 || fail "WM_CLOSE did not end the program"
wait $pid || true
trap - EXIT
echo "protection: ok"
