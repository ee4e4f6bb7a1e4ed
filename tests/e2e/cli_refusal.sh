#!/usr/bin/env bash
# pellora-cli.exe and Pellora.exe never run at once (both write the same settings files): while
# the window program runs, the console program refuses with a message and exit code 2 before
# it touches its application folder; while the console program runs (held here in the middle
# of writing a long result list to a pipe that is not read), the window program ends at once
# without a window; each works again once the other has ended.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-refusal
source "$(dirname "$0")/cli_support.bash"
kit="$build/e2e-testkit.exe"
window="$work/window"
mkdir -p "$window"
cp "$app/Pellora.exe" "$app/DataBase.ref" "$window/"

gui_pid=""
cli_pid=""
stop_all() {
    [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null
    [ -n "$cli_pid" ] && kill "$cli_pid" 2>/dev/null
    cleanup
}
trap stop_all EXIT

plant="$work/plant"
mkdir -p "$plant"
# Enough result lines to fill a pipe several times over.
(cd "$plant" && touch $(seq -f 'spyware-%05g.dat' 1 3000))
write_database "file|*.dat|Adware.Many|"

# The window runs: the console program refuses and leaves its folder alone.
"$run" "$window/Pellora.exe" </dev/null >/dev/null 2>&1 &
gui_pid=$!
"$run" "$kit" wait-window "Dozevur Ezavuri" 90000 </dev/null || fail "the main window did not appear"
cli scan
expect_status 2 "scan while Pellora.exe runs"
grep -q '^pellora-cli: Pellora is running' "$work/err.txt" || fail "no refusal message: $(cat "$work/err.txt")"
[ "$(wc -l <"$work/err.txt")" = 1 ] || fail "the refusal is not one line"
[ ! -s "$work/out" ] || fail "output while refusing"
[ ! -e "$work/app/Settings" ] || fail "the refused run created its settings"
"$run" "$kit" close "Dozevur Ezavuri" 60000 </dev/null || fail "the window did not close"
wait "$gui_pid" || true
gui_pid=""

# Now the console program runs; its first output line shows it holds the guard, and it cannot
# finish while nobody reads the rest.
cli settings
expect_status 0 "settings once the window has ended"
printf '%s' "$(winpath "$plant")" >"$work/app/Settings/SelectedFolders.stg"
mkfifo "$work/pipe"
"$run" "$work/app/pellora-cli.exe" scan --mode folders </dev/null >"$work/pipe" 2>"$work/err" &
cli_pid=$!
exec 3<"$work/pipe"
read -r first <&3 || fail "the console program printed nothing"
case "$first" in "Objects scanned: 1"*) ;; *) fail "unexpected first line: $first" ;; esac

before=$(cd "$window" && find . -type f -printf '%p %s %T@\n' | sort)
timeout 60 "$run" "$window/Pellora.exe" </dev/null >/dev/null 2>&1 || fail "the window program did not end by itself"
after=$(cd "$window" && find . -type f -printf '%p %s %T@\n' | sort)
[ "$before" = "$after" ] || fail "the window program touched its folder while the console program ran"

lines=$(cat <&3 | tr -d '\r' | grep -c '^     file:') || true
exec 3<&-
set +e
wait "$cli_pid"
status=$?
set -e
cli_pid=""
[ "$status" = 1 ] || fail "the held scan ended with $status"
[ "$lines" = 3000 ] || fail "the held scan printed $lines result lines, expected 3000"
echo "pellora-cli and Pellora.exe exclude each other: ok"
