#!/usr/bin/env bash
# Pellora-setup.exe under Wine, in a Wine prefix of its own: a silent install to the default
# folder (files, Start-menu shortcut, uninstall entry), the installed Pellora.exe started and
# closed, an upgrade that closes a running Pellora, an upgrade that keeps the settings,
# quarantine, registry backups and log byte for byte, a silent uninstall that removes what was
# installed (and the start-at-logon value and task) and nothing else, a silent install to a
# chosen folder and its uninstall, the kept data deleted by /REMOVEDATA and by No to the
# interactive uninstaller's question (and nothing else), and an installer signed with a test
# certificate whose signatures verify.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=installer
source "$(dirname "$0")/package_support.bash"
setup="$build/Pellora-setup.exe"
shots="$build/screenshots"
[ -f "$setup" ] || fail "no $setup (is makensis installed?)"
mkdir -p "$shots"

default="$drive_c/Program Files/Pellora"
default_win='C:\Program Files\Pellora'
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pellora.lnk"
shortcut_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Pellora.lnk'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellora'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
event_source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Pellora'

install() {
    "$run" "$@" </dev/null >/dev/null 2>&1 || fail "$* ended with exit code $?"
}
# The uninstaller runs from a copy of itself and returns at once; its last step removes its entry.
uninstall() {
    "$run" "$1\\Uninstall.exe" /S "${@:2}" </dev/null >/dev/null 2>&1 || fail "the uninstaller did not start"
    for _ in $(seq 600); do
        "$run" reg query "$uninstall_key" /reg:64 </dev/null >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    fail "the uninstaller did not finish"
}

# ---- silent install to the default folder --------------------------------------------------
install "$setup" /S
[ "$(staged_files | wc -l)" -ge 5 ] || fail "the staged application folder is incomplete"
while read -r file; do
    cmp -s "$stage/$file" "$default/$file" || fail "$file is not installed as staged"
    cmp -s "$app/$file" "$default/$file" || fail "$file differs from the application folder"
done < <(staged_files)
[ -f "$default/Uninstall.exe" ] || fail "no Uninstall.exe"
extra=$(cd "$default" && find . -type f | sed 's|^\./||' | sort | comm -13 <( (staged_files; echo Uninstall.exe) | sort) -)
[ -z "$extra" ] || fail "files not in the application folder were installed: $extra"

[ -f "$shortcut" ] || fail "no Start-menu shortcut"
[ "$("$run" "$kit" shortcut "$shortcut_win" target </dev/null | tr -d '\r')" = "$default_win\\Pellora.exe" ] ||
    fail "the shortcut does not start the installed Pellora.exe"

version=$(sed -n 's/^#define PELLORA_VERSION_TEXT "\(.*\)"$/\1/p' "$root/src/win32/version_info.rc")
[ -n "$version" ] || fail "no version in src/win32/version_info.rc"
size_kb=$(( ($(staged_files | (cd "$stage" && tr '\n' '\0' | xargs -0 cat) | wc -c) + 1023) / 1024 ))
expect_value() {
    [ "$(reg_value "$uninstall_key" "$1")" = "$2" ] ||
        fail "uninstall entry $1 is '$(reg_value "$uninstall_key" "$1")', expected '$2'"
}
expect_value DisplayName "Pellora"
expect_value DisplayVersion "$version"
expect_value Publisher "Pellora"
expect_value DisplayIcon "$default_win\\Pellora.exe,0"
expect_value InstallLocation "$default_win"
expect_value UninstallString "\"$default_win\\Uninstall.exe\""
expect_value QuietUninstallString "\"$default_win\\Uninstall.exe\" /S"
expect_value NoModify 0x1
expect_value NoRepair 0x1
expect_value EstimatedSize "$(printf '0x%x' "$size_kb")"
# The event log source, whose texts are the message table of the installed program.
[ "$(reg_value "$event_source_key" EventMessageFile)" = "$default_win\\Pellora.exe" ] ||
    fail "the event source names '$(reg_value "$event_source_key" EventMessageFile)' as its message file"
[ "$(reg_value "$event_source_key" TypesSupported)" = 0x7 ] || fail "the event source supports no event types"

# ---- the installed program starts, keeps its files below its folder, and closes -------------
start_installed() {
    "$run" "$default_win\\Pellora.exe" </dev/null >/dev/null 2>&1 &
    pid=$!
    "$run" "$kit" wait-window "Dozevur Ezavuri" 90000 </dev/null || fail "the installed Pellora did not show its window"
}
start_installed
for file in Settings/Settings.stg Settings/ScanInfo.stg Settings/CustomScan.stg DavEre.roz; do
    [ -f "$default/$file" ] || fail "the installed Pellora did not create $file below its folder"
done
[ -d "$default/Quarantine" ] && [ -d "$default/Registry Backups" ] || fail "no data folders below the installed folder"
"$run" "$kit" close "Dozevur Ezavuri" 60000 </dev/null || fail "the installed Pellora did not close"
wait "$pid" || true
pid=""

# ---- an upgrade closes a running Pellora first ---------------------------------------------
start_installed
printf 'damaged' >"$default/DataBase.ref"
install "$setup" /S
kill -0 "$pid" 2>/dev/null && fail "the upgrade left Pellora running"
wait "$pid" || true
pid=""
cmp -s "$stage/DataBase.ref" "$default/DataBase.ref" || fail "the upgrade did not replace the program's files"
# The installed database is set aside for the program to compare with the release's.
[ "$(cat "$default/DataBase.prev")" = damaged ] || fail "the upgrade did not set the installed database aside"
printf 'older' >"$default/DataBase.ref"
printf 'damaged again' >"$default/DataBase.prev"
install "$setup" /S
[ "$(cat "$default/DataBase.prev")" = "damaged again" ] || fail "an upgrade replaced a database set aside before"
rm "$default/DataBase.prev"

# ---- an upgrade keeps the user's data byte for byte ----------------------------------------
package="$default/Quarantine/12072026-101500"
mkdir -p "$package/1/sub"
printf 'C:\\Tools\\bad.exe\r\n' >"$package/1.qnf"
head -c 3000 /dev/urandom >"$package/1.qit"
head -c 500 /dev/urandom >"$package/1/sub/payload.dll"
printf 'Windows Registry Editor Version 5.00\r\n' >"$default/Registry Backups/12072026-101500.reg"
printf '1\r\n' >>"$default/Settings/IgnoreList.stg"
printf 'log line\r\n' >>"$default/DavEre.roz"
data_sums "$default" >"$work/data-before"
install "$setup" /S
data_sums "$default" >"$work/data-after"
cmp -s "$work/data-before" "$work/data-after" || fail "the upgrade changed kept data: $(diff "$work/data-before" "$work/data-after")"

# ---- silent uninstall ------------------------------------------------------------------------
printf 'mine' >"$default/notes.txt"
"$run" reg add "$run_key" /v Pellora /d "\"$default_win\\Pellora.exe\"" /f /reg:64 </dev/null >/dev/null ||
    fail "could not set the Run value"
cat >"$work/task.xml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Principals><Principal id="Author"><RunLevel>HighestAvailable</RunLevel></Principal></Principals>
  <Actions Context="Author"><Exec><Command>$default_win\\Pellora.exe</Command></Exec></Actions>
</Task>
EOF
"$run" schtasks /create /tn Pellora /xml "Z:${work//\//\\}\\task.xml" </dev/null >"$work/schtasks.log" 2>&1 ||
    fail "could not create a logon task to remove: exit code $? $(cat "$work/schtasks.log")"
[ -f "$drive_c/windows/system32/tasks/Pellora" ] || fail "the planted logon task is not where Wine keeps tasks"
# What an update leaves beside the database is the program's own and goes with it.
for file in DataBase.sig DataBase.bak DataBase.bak.sig DataBase.prev; do printf 'update' >"$default/$file"; done
uninstall "$default_win"
for file in DataBase.sig DataBase.bak DataBase.bak.sig DataBase.prev; do
    [ -e "$default/$file" ] && fail "the uninstaller left the database's companion $file"
done
while read -r file; do
    [ -e "$default/$file" ] && fail "the uninstaller left $file"
done < <(staged_files)
[ -e "$default/Uninstall.exe" ] && fail "the uninstaller left itself"
[ -e "$default/Help" ] && fail "the uninstaller left the Help folder"
[ -e "$shortcut" ] && fail "the uninstaller left the shortcut"
[ -z "$(reg_value "$run_key" Pellora)" ] || fail "the uninstaller left the Run value"
"$run" reg query "$event_source_key" /reg:64 </dev/null >/dev/null 2>&1 && fail "the uninstaller left the event source"
[ -e "$drive_c/windows/system32/tasks/Pellora" ] && fail "the uninstaller left the logon task"
[ "$(cat "$default/notes.txt")" = mine ] || fail "the uninstaller removed a file it did not install"
data_sums "$default" >"$work/data-after"
cmp -s "$work/data-before" "$work/data-after" || fail "the silent uninstall did not keep the data"

# A database signature left without its database (by an older uninstaller) would refuse the
# release's database: the installer deletes it.
printf 'orphan' >"$default/DataBase.sig"
install "$setup" /S
[ -e "$default/DataBase.sig" ] && fail "the installer kept a signature that belongs to no database"
cmp -s "$stage/DataBase.ref" "$default/DataBase.ref" || fail "the reinstallation did not install the database"
uninstall "$default_win"

# ---- silent install to a chosen folder -------------------------------------------------------
# (Without spaces: Wine would quote an argument with spaces, and /D= must stand unquoted.)
chosen="$drive_c/Tools/Pellora2"
chosen_win='C:\Tools\Pellora2'
# Whatever folder is chosen, it gets its access list (Administrators and SYSTEM full control,
# Users read and execute, nothing inherited) before the files. Wine does not keep access lists:
# what the installer asked the system for is read from Wine's trace of the call; -2147483644 is
# DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION.
WINEDEBUG=trace+advapi "$run" "$setup" /S "/D=$chosen_win" </dev/null >/dev/null 2>"$work/install-trace.log" ||
    fail "the install to a chosen folder ended with exit code $?"
grep -qF 'trace:advapi:SetNamedSecurityInfoW L"C:\\Tools\\Pellora2" 1 -2147483644 ' "$work/install-trace.log" ||
    fail "the installer did not give the chosen folder a protected access list"
while read -r file; do
    cmp -s "$stage/$file" "$chosen/$file" || fail "$file is not installed in the chosen folder"
done < <(staged_files)
expect_value InstallLocation "$chosen_win"
expect_value QuietUninstallString "\"$chosen_win\\Uninstall.exe\" /S"
[ "$("$run" "$kit" shortcut "$shortcut_win" target </dev/null | tr -d '\r')" = "$chosen_win\\Pellora.exe" ] ||
    fail "the shortcut does not start Pellora.exe in the chosen folder"
[ -e "$default/Pellora.exe" ] && fail "the install to a chosen folder wrote to the default folder"
uninstall "$chosen_win"
[ -e "$chosen" ] && fail "the uninstaller left the chosen folder, which held nothing else: $(find "$chosen")"

# /REMOVEDATA deletes the kept data as well, and still nothing it did not install or keep.
install "$setup" /S "/D=$chosen_win"
cp -r "$default/Settings" "$default/Quarantine" "$default/Registry Backups" "$default/DavEre.roz" "$chosen/"
printf 'mine' >"$chosen/notes.txt"
uninstall "$chosen_win" /REMOVEDATA
[ "$(cd "$chosen" && find . | sort | tr '\n' ' ')" = ". ./notes.txt " ] ||
    fail "/REMOVEDATA left or removed the wrong files: $(cd "$chosen" && find .)"
rm -rf "$chosen"

# The interactive uninstaller: "Uninstall", then No to keeping the data (the question's window is
# "Pellora Uninstall", the uninstaller's own "Pellora Uninstall " with NSIS's trailing space).
install "$setup" /S "/D=$chosen_win"
cp -r "$default/Settings" "$default/Quarantine" "$default/Registry Backups" "$default/DavEre.roz" "$chosen/"
printf 'mine' >"$chosen/notes.txt"
"$run" "$chosen_win\\Uninstall.exe" </dev/null >/dev/null 2>&1 || fail "the uninstaller did not start"
"$run" "$kit" wait-window "Pellora Uninstall " 60000 </dev/null || fail "the uninstaller showed no window"
"$run" "$kit" post "Pellora Uninstall " 273 1 0 </dev/null || fail "could not press Uninstall"
"$run" "$kit" wait-window "Pellora Uninstall" 60000 </dev/null || fail "the uninstaller did not ask about the data"
"$run" "$kit" post "Pellora Uninstall" 273 7 0 </dev/null || fail "could not answer No"
finished=""
for _ in $(seq 600); do
    "$run" reg query "$uninstall_key" /reg:64 </dev/null >/dev/null 2>&1 || { finished=1; break; }
    sleep 0.2
done
[ -n "$finished" ] || fail "the uninstaller did not finish"
"$run" "$kit" post "Pellora Uninstall " 273 1 0 </dev/null || true  # "Close"
[ "$(cd "$chosen" && find . | sort | tr '\n' ' ')" = ". ./notes.txt " ] ||
    fail "No to keeping the data left or removed the wrong files: $(cd "$chosen" && find .)"
rm -rf "$chosen"
[ -d "$drive_c/Tools" ] || fail "the uninstaller removed the chosen folder's parent"

# ---- signed with a test certificate ----------------------------------------------------------
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Pellora test signing (not trusted)" \
    -keyout "$work/test-key.pem" -out "$work/test-cert.pem" >/dev/null 2>&1 || fail "openssl could not make a test certificate"
PELLORA_SIGN_CERT="$work/test-cert.pem" PELLORA_SIGN_KEY="$work/test-key.pem" \
    cmake -DAPP_DIR="$app" -DSTAGE_DIR="$work/signed-stage" -DOUT_FILE="$work/Pellora-setup-signed.exe" \
    -DSOURCE_DIR="$root" -DMAKENSIS="$(command -v makensis)" -DOSSLSIGNCODE="$(command -v osslsigncode)" \
    -P "$root/packaging/build-installer.cmake" >"$work/sign.log" 2>&1 || fail "the signed build failed: $(cat "$work/sign.log")"
verify() {
    osslsigncode verify -CAfile "$work/test-cert.pem" -in "$1" >"$work/verify.log" 2>&1 ||
        fail "the signature of $1 does not verify: $(cat "$work/verify.log")"
}
verify "$work/Pellora-setup-signed.exe"
signed="$drive_c/SignedPellora"
install "$work/Pellora-setup-signed.exe" /S '/D=C:\SignedPellora'
for file in Pellora.exe pellora-cli.exe Uninstall.exe; do verify "$signed/$file"; done
# A change after signing is caught.
cp "$signed/Pellora.exe" "$work/tampered.exe"
printf 'x' | dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc status=none
osslsigncode verify -CAfile "$work/test-cert.pem" -in "$work/tampered.exe" >/dev/null 2>&1 &&
    fail "a changed executable still verifies"
echo "installer: ok"
