#!/usr/bin/env bash
# pellora-cli.exe writes its events through the real ReportEventW: Wine's stub traces each call
# (event id and type on the advapi channel, each insert on the eventlog channel), which this test
# reads back. A removal run gives the scan-finished and object-removed events, an update from a
# file without a trusted key the refused event, switching a protection the protection event, a
# database that fails its signature and an application folder others may change the tampering
# events. That the ids render from the executables' message table is tested in win32_cli.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-events
source "$(dirname "$0")/cli_support.bash"
trap 'chmod -R u+rwX,go-w "$work" 2>/dev/null; cleanup' EXIT

# Runs pellora-cli with the trace; $work/events.txt gets one line per event: "id type|insert|...".
cli_events() {
    WINEDEBUG=fixme+advapi,trace+eventlog,warn+eventlog,err+eventlog cli "$@"
    python3 - "$work/err.txt" >"$work/events.txt" <<'PY'
import re, sys
events = []
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    call = re.search(r":ReportEventW \([0-9A-Fa-f]+,0x([0-9a-f]+),0x[0-9a-f]+,0x([0-9a-f]+),", line)
    if call:
        events.append([str(int(call.group(2), 16)) + " " + str(int(call.group(1), 16))])
        continue
    # Wine's trace cuts a long insert after about 300 characters ("...).
    insert = re.search(r":eventlog:ReportEventW L\"(.*)\"(\.\.\.)?$", line.rstrip("\n"))
    if insert and events:
        events[-1].append(insert.group(1).replace("\\\\", "\\"))
for event in events:
    print("|".join(event))
PY
}
expect_event() {  # the line expected in $work/events.txt
    grep -qxF "$1" "$work/events.txt" || fail "no event \"$1\" in: $(cat "$work/events.txt")"
}

write_database "path|C:\\$tag\\spy.dat|Adware.Spy|"
mkdir -p "$disk"
printf 'MZ' >"$disk/spy.dat"
# Information is type 4, warning 2, error 1.
cli_events remove --folder "C:\\$tag"
expect_status 0 "remove"
expect_event "1000 4|folders|1|1"
expect_event "1001 4|File|C:\\$tag\\spy.dat"

printf 'not a database' >"$work/offered.ref"
cli_events update --file "$(winpath "$work/offered.ref")"
expect_status 1 "update --file without a trusted key"
expect_event "1101 2|$(winpath "$work/offered.ref")|no trusted key (*.pem) in $(winpath "$work/app")\\Keys"

cli_events settings set active-protection on
expect_status 0 "settings set active-protection on"
expect_event "1200 4|automatic scan"
cli_events settings set active-protection off
expect_event "1201 2|automatic scan"

printf 'not a signature' >"$work/app/DataBase.sig"
cli_events scan --mode folders
expect_status 2 "scan with a database that fails its signature"
grep -q "^1301 1|" "$work/events.txt" || fail "no signature failure event in: $(cat "$work/events.txt")"
rm "$work/app/DataBase.sig"

chmod 777 "$work/app"
cli_events remove --folder "C:\\$tag"
expect_status 2 "remove in a folder everyone may change"
grep -qF "1300 1|Everyone may change $(winpath "$work/app"), so anyone" "$work/events.txt" ||
    fail "no tampering event in: $(cat "$work/events.txt")"
chmod 755 "$work/app"
echo "pellora-cli events: ok"
