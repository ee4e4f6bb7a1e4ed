#!/usr/bin/env bash
# pellora-cli.exe in an application folder that everyone may change (mode 777, which Wine reports
# as Everyone: write): every command that changes the machine is refused with exit code 2 and one
# line on standard error that says why and how to fix it, before it changes anything; the
# read-only commands still run, with the same line as a warning. The same happens when only
# pellora-cli.exe is writable. With the folder put back, the commands run again.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-unsafe-folder
source "$(dirname "$0")/cli_support.bash"
trap 'chmod -R u+rwX,go-w "$work" 2>/dev/null; cleanup' EXIT

write_database "file|C:\\$tag\\spy.dat|Adware.Spy|"
mkdir -p "$disk"
printf 'MZ' >"$disk/spy.dat"
cli settings
expect_status 0 "settings in a folder only its owner may change"
[ ! -s "$work/err.txt" ] || fail "a warning for a safe folder: $(cat "$work/err.txt")"

snapshot() { (cd "$work/app" && find . -path ./DavEre.roz -prune -o -type f -printf '%p %s %T@\n' | sort); }

for writable in "$work/app" "$work/app/pellora-cli.exe"; do
    chmod 777 "$writable"
    what=$(winpath "$writable")
    before=$(snapshot)
    for command in "remove" "scan --quarantine" "settings set log-activities on" "folders add C:\\" \
        "folders remove C:\\" "quarantine delete 1-1-2026-0-0-0" "quarantine restore 1-1-2026-0-0-0" \
        "update --url http://127.0.0.1:9/x" "update --rollback"; do
        # shellcheck disable=SC2086
        cli $command
        expect_status 2 "$command with $what writable by everyone"
        [ "$(wc -l <"$work/err.txt")" = 1 ] || fail "$command: the refusal is not one line: $(cat "$work/err.txt")"
        grep -qF "pellora-cli: Everyone may change $what, so anyone could replace" "$work/err.txt" ||
            fail "$command: the refusal does not say why: $(cat "$work/err.txt")"
        grep -qF "run the Pellora installer again for $(winpath "$work/app")" "$work/err.txt" ||
            fail "$command: the refusal does not say how to fix it: $(cat "$work/err.txt")"
        [ ! -s "$work/out" ] || fail "$command printed output while refusing"
    done
    [ -f "$disk/spy.dat" ] || fail "a refused command removed the found file"
    [ "$before" = "$(snapshot)" ] || fail "a refused command changed the application folder"

    for command in "settings" "folders list" "quarantine list" "ignore list" "scan"; do
        # shellcheck disable=SC2086
        cli $command
        [ "$status" != 2 ] || fail "$command (read-only) with $what writable was refused: $(cat "$work/err.txt")"
        grep -qF "pellora-cli: Everyone may change $what, so anyone could replace" "$work/err.txt" ||
            fail "$command: no warning: $(cat "$work/err.txt")"
    done
    [ -f "$disk/spy.dat" ] || fail "a read-only command removed the found file"
    chmod 755 "$writable"
done

cli settings set log-activities on
expect_status 0 "settings set once the folder is put back"
[ ! -s "$work/err.txt" ] || fail "a warning once the folder is put back: $(cat "$work/err.txt")"
echo "pellora-cli in a folder everyone may change: ok"
