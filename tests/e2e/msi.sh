#!/usr/bin/env bash
# Pellora.msi under Wine, in a Wine prefix of its own, as a management system deploys it: a
# silent install (msiexec /i /qn) to the 64-bit Program Files with the setup program's files, the
# event source and the uninstall entry, the application folder's access list set by the installed
# pellora-cli.exe; a silent upgrade to a later version that keeps the program's data byte for byte
# and leaves one product; a silent removal (msiexec /x /qn) that removes what was installed and
# keeps the data. Both remove what an update left beside the database with it.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=msi
source "$(dirname "$0")/package_support.bash"
msi="$build/Pellora.msi"
[ -f "$msi" ] || fail "no $msi (is wixl installed?)"

default="$drive_c/Program Files/Pellora"
default_win='C:\Program Files\Pellora'
event_source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Pellora'
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
msiexec() {  # action, package; Windows Installer's log goes to $work/msiexec.log
    rm -f "$work/msiexec.log"
    "$run" msiexec "$1" "$(winpath "$2")" /qn /l*v "$(winpath "$work")\\msiexec.log" </dev/null >/dev/null 2>&1 ||
        fail "msiexec $1 $2 ended with exit code $?"
}
# The secure-folder step ran from the installed folder and succeeded (Wine keeps no access list
# to look at; the action's own result is what Windows Installer checked).
expect_secured() {
    tr -d '\r' <"$work/msiexec.log" | grep -q "Action ended .*: SecureFolder. Return value 1." ||
        fail "$1: the secure-folder action did not run or failed (see $work/msiexec.log)"
}
winpath() { printf 'Z:%s' "$(realpath "$1" | tr '/' '\\')"; }

# ---- silent install --------------------------------------------------------------------------
msiexec /i "$msi"
expect_secured install
[ "$(staged_files | wc -l)" -ge 5 ] || fail "the staged application folder is incomplete"
while read -r file; do
    cmp -s "$stage/$file" "$default/$file" || fail "$file is not installed as the setup program installs it"
done < <(staged_files)
extra=$(cd "$default" && find . -type f | sed 's|^\./||' | sort | comm -13 <(staged_files) -)
[ -z "$extra" ] || fail "files the setup program does not install were installed: $extra"
# A per-machine package puts it into the common Start menu; Wine's msi resolves that folder
# to the installing user's.
user=$("$run" cmd /c 'echo %USERNAME%' </dev/null | tr -d '\r')
shortcuts=("$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pellora.lnk"
    "$drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Pellora.lnk")
[ -f "${shortcuts[0]}" ] || [ -f "${shortcuts[1]}" ] || fail "no Start-menu shortcut"
[ "$(reg_value "$event_source_key" EventMessageFile)" = "$default_win\\Pellora.exe" ] ||
    fail "the event source names '$(reg_value "$event_source_key" EventMessageFile)'"
[ "$(reg_value "$event_source_key" TypesSupported)" = 0x7 ] || fail "the event source supports no event types"
first=$(product_code "$msi")
[ -n "$first" ] || fail "the package has no product code"
[ "$(reg_value "$uninstall_root\\$first" DisplayName)" = Pellora ] || fail "no uninstall entry named Pellora"
[ "$(reg_value "$uninstall_root\\$first" NoModify)" = 0x1 ] || fail "the uninstall entry offers to modify"
[ "$(reg_value "$uninstall_root\\$first" NoRepair)" = 0x1 ] || fail "the uninstall entry offers to repair"
echo "installed silently"

# ---- the program's data, as Pellora writes it ------------------------------------------------
mkdir -p "$default/Settings" "$default/Quarantine/12072026-101500/1" "$default/Registry Backups"
printf '0\r\n1\r\n' >"$default/Settings/Settings.stg"
head -c 3000 /dev/urandom >"$default/Quarantine/12072026-101500/1.qit"
head -c 500 /dev/urandom >"$default/Quarantine/12072026-101500/1/payload.dll"
printf 'Windows Registry Editor Version 5.00\r\n' >"$default/Registry Backups/12072026-101500.reg"
printf 'Scan process started\r\n' >"$default/DavEre.roz"
# What an update leaves beside the database is the program's own and goes with the database it
# belongs to: left beside the release's database, a signature would refuse it.
companions="DataBase.sig DataBase.new.sig DataBase.bak DataBase.bak.sig DataBase.prev DataBase.tmp"
expect_companions_gone() {
    for file in $companions; do
        [ -e "$default/$file" ] && fail "$1 left the database's companion $file"
    done
    return 0
}
for file in $companions; do printf 'update' >"$default/$file"; done
data_sums "$default" >"$work/data-before"

# ---- silent upgrade to a later version -------------------------------------------------------
cp -r "$build/installer-stage" "$work/stage-next"
printf 'next' >>"$work/stage-next/files/Help/help.htm"
cmake -DSTAGE_DIR="$work/stage-next" -DOUT_FILE="$work/Pellora-next.msi" -DWIXL="$(command -v wixl)" \
    -DVERSION=99.0.0 -P "$root/packaging/build-msi.cmake" >"$work/next.log" 2>&1 ||
    fail "the later package could not be built: $(cat "$work/next.log")"
msiexec /i "$work/Pellora-next.msi"
expect_secured upgrade
while read -r file; do
    cmp -s "$work/stage-next/files/$file" "$default/$file" || fail "the upgrade did not install $file"
done < <(staged_files)
data_sums "$default" >"$work/data-after"
cmp -s "$work/data-before" "$work/data-after" || fail "the upgrade did not keep the data"
expect_companions_gone "the upgrade"
next=$(product_code "$work/Pellora-next.msi")
"$run" reg query "$uninstall_root\\$first" /reg:64 </dev/null >/dev/null 2>&1 && fail "the upgrade left the older product"
[ "$(reg_value "$uninstall_root\\$next" DisplayVersion)" = 99.0.0 ] || fail "the upgrade's entry is not of its version"
echo "upgraded silently"

# ---- silent removal --------------------------------------------------------------------------
for file in $companions; do printf 'update' >"$default/$file"; done
printf 'mine' >"$default/DataBase.notes"
msiexec /x "$work/Pellora-next.msi"
[ "$(cat "$default/DataBase.notes")" = mine ] || fail "the removal deleted a file it did not install"
expect_companions_gone "the removal"
while read -r file; do
    [ -e "$default/$file" ] && fail "the removal left $file"
done < <(staged_files)
"$run" reg query "$uninstall_root\\$next" /reg:64 </dev/null >/dev/null 2>&1 && fail "the removal left the uninstall entry"
"$run" reg query "$event_source_key" /reg:64 </dev/null >/dev/null 2>&1 && fail "the removal left the event source"
[ -e "${shortcuts[0]}" ] || [ -e "${shortcuts[1]}" ] && fail "the removal left the shortcut"
data_sums "$default" >"$work/data-removed"
cmp -s "$work/data-before" "$work/data-removed" || fail "the removal did not keep the data"
echo "msi: ok"
