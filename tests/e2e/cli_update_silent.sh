#!/usr/bin/env bash
# pellora-cli update under Wine against a loopback server that accepts every connection and never
# answers: the command ends by itself with exit code 2 once the 60-second wait is up (the test
# waits for its end with a far longer deadline, well under what the platform's own time-outs
# took), and a Ctrl+C while it waits ends it at once; DataBase.ref stays byte-identical and no
# DataBase.tmp is left either way.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-update-silent
source "$(dirname "$0")/cli_support.bash"

# Loopback only: no proxy of the environment may stand between WinINet and the test server.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
cp "$app/DataBase.ref" "$work/app/DataBase.ref"
mkdir -p "$work/app/Keys"
cp "$root/tests/data/update/pellora-test-signing-key.pub.pem" "$work/app/Keys/"
before="$work/before.ref"
cp "$work/app/DataBase.ref" "$before"

# The silent server: writes its port, then one line per connection it accepts, and keeps them.
python3 - "$work/port" "$work/accepted" </dev/null >/dev/null 2>&1 <<'PY' &
import socket, sys
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(16)
open(sys.argv[1], "w").write(str(listener.getsockname()[1]))
held = []
while True:
    connection, _ = listener.accept()
    held.append(connection)
    with open(sys.argv[2], "a") as log:
        log.write("accepted\n")
PY
server=$!
cli_pid=""
stop_all() {
    [ -n "$cli_pid" ] && kill -KILL "$cli_pid" 2>/dev/null
    kill "$server" 2>/dev/null
    cleanup
}
trap stop_all EXIT
wait_until 120 test -s "$work/port" || fail "the silent server did not start within 120 s"
url="http://127.0.0.1:$(cat "$work/port")/members/DataBase.ref"

ended() { ! kill -0 "$1" 2>/dev/null; }
# Waits up to $2 seconds for process $1 to end; its exit code in $status.
wait_for_end() {
    wait_until "$2" ended "$1" || return 1
    set +e
    wait "$1"
    status=$?
    set -e
}
start_update() {
    "$run" "$work/app/pellora-cli.exe" update --url "$url" </dev/null >"$work/out" 2>"$work/err" &
    cli_pid=$!
}
expect_unchanged() {
    tr -d '\r' <"$work/err" >"$work/err.txt"
    [ "$status" = 2 ] || fail "$1: exit code $status, expected 2 (stderr: $(cat "$work/err.txt"))"
    cmp -s "$before" "$work/app/DataBase.ref" || fail "$1: DataBase.ref changed"
    [ ! -e "$work/app/DataBase.tmp" ] || fail "$1: DataBase.tmp was left"
    grep -q "the update failed" "$work/err.txt" || fail "$1: no failure on standard error: $(cat "$work/err.txt")"
}

# Given up after the documented wait. The deadline of four minutes is far beyond it, and far
# below the six and a half the platform's own time-outs took.
start_update
wait_for_end "$cli_pid" 240 || fail "update against a silent server was still waiting after four minutes"
cli_pid=""
[ -s "$work/accepted" ] || fail "the update never reached the silent server"
expect_unchanged "silent server"
echo "a silent server: given up, exit 2"

# Ctrl+C while the request waits: it ends the command, reported as interrupted (a request the
# 60-second watchdog gave up would not say so), so the deadline can be a generous one.
: >"$work/accepted"
start_update
wait_until 120 test -s "$work/accepted" || fail "the second update did not reach the silent server within 120 s"
# Wine turns SIGINT into the console's Ctrl+C event.
kill -INT "$cli_pid"
wait_for_end "$cli_pid" 240 || fail "update was still waiting four minutes after Ctrl+C"
cli_pid=""
expect_unchanged "Ctrl+C"
grep -q "interrupted" "$work/err.txt" || fail "Ctrl+C: not reported as interrupted: $(cat "$work/err.txt")"
echo "Ctrl+C while waiting: ended, exit 2"
