#!/usr/bin/env bash
# pellora-cli.exe and Pellora.exe in one application folder never run at once (both write the
# same settings files): while the window program runs, the console program refuses with a
# message and exit code 2 before it touches the folder; while the console program runs (held
# here in the middle of writing a long result list to a pipe that is not read), the window
# program ends at once without a window; each works again once the other has ended. The guard
# is the lock file in the folder: a process holding a mutex of the name the guard once had
# stops neither program.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-refusal
source "$(dirname "$0")/cli_support.bash"
kit="$build/e2e-testkit.exe"
window="$work/app"
cp "$app/Pellora.exe" "$window/"

gui_pid=""
cli_pid=""
mutex_pids=()
stop_all() {
    [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null
    [ -n "$cli_pid" ] && kill "$cli_pid" 2>/dev/null
    for held in "${mutex_pids[@]}"; do kill "$held" 2>/dev/null; done
    cleanup
}
trap stop_all EXIT

plant="$work/plant"
mkdir -p "$plant"
# Enough result lines to fill a pipe several times over.
(cd "$plant" && touch $(seq -f 'spyware-%05g.dat' 1 3000))
write_database "file|*.dat|Adware.Many|"
snapshot() { (cd "$work/app" && find . -type f -printf '%p %s %T@\n' | sort); }

# Another process holds the old guard's names, in both namespaces: both programs still start.
for mutex in 'Global\Pellora.DozevurEzavuri.Instance' 'Local\Pellora.DozevurEzavuri.Instance'; do
    "$run" "$kit" hold-mutex "$mutex" </dev/null >"$work/mutex-${#mutex_pids[@]}" 2>/dev/null &
    mutex_pids+=($!)
done
for file in "$work/mutex-0" "$work/mutex-1"; do
    for _ in $(seq 600); do
        grep -qs held "$file" && break
        sleep 0.1
    done
    grep -qs held "$file" || fail "the mutex holder did not start"
done
cli settings
expect_status 0 "settings while another process holds the old guard's name"
"$run" "$window/Pellora.exe" </dev/null >/dev/null 2>&1 &
gui_pid=$!
"$run" "$kit" wait-window "Dozevur Ezavuri" 90000 </dev/null ||
    fail "the main window did not appear while another process holds the old guard's name"

# The window runs: the console program refuses and leaves its folder alone.
[ -e "$window/Pellora.lock" ] || fail "the running window holds no Pellora.lock"
before=$(snapshot)
cli scan
expect_status 2 "scan while Pellora.exe runs"
grep -q '^pellora-cli: Pellora is running' "$work/err.txt" || fail "no refusal message: $(cat "$work/err.txt")"
[ "$(wc -l <"$work/err.txt")" = 1 ] || fail "the refusal is not one line"
[ ! -s "$work/out" ] || fail "output while refusing"
[ "$before" = "$(snapshot)" ] || fail "the refused run touched the application folder"
"$run" "$kit" close "Dozevur Ezavuri" 60000 </dev/null || fail "the window did not close"
wait "$gui_pid" || true
gui_pid=""
for held in "${mutex_pids[@]}"; do kill "$held" 2>/dev/null; done
mutex_pids=()
[ ! -e "$window/Pellora.lock" ] || fail "the window left Pellora.lock behind"

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

before=$(snapshot)
timeout 60 "$run" "$window/Pellora.exe" </dev/null >/dev/null 2>&1 || fail "the window program did not end by itself"
[ "$before" = "$(snapshot)" ] || fail "the window program touched its folder while the console program ran"

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
