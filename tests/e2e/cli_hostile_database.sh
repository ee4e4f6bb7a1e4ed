#!/usr/bin/env bash
# A hostile reference database removed in an automatic run: its rows name the system's own
# files, folders, keys and values in every spelling Wine resolves (short names, "\\?\" and
# "\\.\" forms, "..", "/", trailing dots, letter case, the Classes and 32-bit views, the user's
# SID, CurrentControlSet and ControlSet001). pellora-cli remove in custom mode with "Automatically
# Erase all detected objects" must leave the Windows folder tree (names and sizes), the program
# and data folders, the user's folders and the protected keys exactly as they were, log a
# "Protected object skipped=" line for every row the scan found, and keep the user's own Run
# value while a planted one beside it goes.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-hostile
source "$(dirname "$0")/cli_support.bash"

runkey='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
cleanup_hostile() {
    "$run" reg delete "$runkey" /v "Keep$tag" /f >/dev/null 2>&1 || true
    "$run" reg delete "$runkey" /v "Spy$tag" /f >/dev/null 2>&1 || true
    cleanup
}
trap cleanup_hostile EXIT

reg_add "$runkey" /v "Keep$tag" /d 'C:\windows\notepad.exe'
reg_add "$runkey" /v "Spy$tag" /d 'C:\spy.exe'

user=$("$run" cmd /c 'echo %USERNAME%' </dev/null | tr -d '\r')
sid=$("$run" reg query 'HKEY_USERS' </dev/null | tr -d '\r' | grep -o 'S-1-5-21-[0-9-]*$' | head -1)
short_pf=$("$run" cmd /c 'for %I in ("C:\Program Files") do @echo %~sI' </dev/null | tr -d '\r')
short_win=$("$run" cmd /c 'for %I in ("C:\windows\system32") do @echo %~sI' </dev/null | tr -d '\r')
[ -n "$user" ] && [ -n "$short_pf" ] || fail "could not read the user name or a short name"
upper_user=$(printf '%s' "$user" | tr '[:lower:]' '[:upper:]')
profile="C:\\users\\$user"

rows=(
    # System files, every spelling.
    'path|C:\windows\system32\kernel32.dll'
    'path|c:/windows/system32/gdi32.dll'
    'path|C:\windows\system32\..\system32\advapi32.dll'
    'path|C:\windows\regedit.exe'
    'path|\\?\C:\windows\regedit.exe'
    'path|\\.\C:\windows\system32\ntdll.dll'
    'path|C:\WINDOWS\SYSTEM32\DRIVERS\mountmgr.sys'
    'path|C:\windows\system32\drivers\.\mountmgr.sys'
    'path|C:\windows.\system32\regsvr32.exe'
    "path|$short_win\\user32.dll"
    'path|C:\windows\system32\notepad.exe'
    'file|kernel32.dll'
    'file|*.dll'
    # Folders of the system, the programs and the user.
    'folder|C:\windows\system32'
    'folder|C:\windows\Fonts'
    'folder|C:\windows\inf'
    'folder|C:\windows\winsxs'
    'folder|C:\windows\system32\..\..\windows'
    'folder|C:\windows\system32\drivers'
    'folder|C:\Program Files'
    "folder|$short_pf"
    "folder|$short_pf\\Common Files"
    'folder|C:\ProgramData\Microsoft'
    'folder|C:\ProgramData'
    "folder|$profile\\AppData\\Roaming"
    "folder|$profile\\AppData"
    "folder|C:/users/$upper_user/AppData/Local"
    "folder|$profile\\Desktop"
    "folder|$profile\\Documents"
    "folder|C:\\users\\$upper_user\\Start Menu"
    'folder|C:\users\Public'
    # Keys and values.
    "regkey|$runkey"
    'regkey|HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run'
    'regkey|HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run'
    'regkey|HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager'
    'regkey|HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Control\Session Manager\Environment'
    'regkey|HKEY_LOCAL_MACHINE\SYSTEM\Select'
    'regkey|HKEY_LOCAL_MACHINE\SYSTEM\MountedDevices'
    'regkey|HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog'
    'regkey|HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Services\MountMgr'
    'regkey|HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon'
    'regkey|HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
    'regkey|HKEY_CLASSES_ROOT\exefile'
    'regkey|HKEY_LOCAL_MACHINE\Software\Classes\exefile\shell'
    'regkey|HKEY_CLASSES_ROOT\.exe'
    'regkey|HKEY_LOCAL_MACHINE\Software\Classes\lnkfile'
    'regkey|HKEY_CLASSES_ROOT\Directory'
    'regkey|HKEY_CLASSES_ROOT\Folder'
    'regkey|HKEY_CLASSES_ROOT\*'
    'regkey|HKEY_CLASSES_ROOT\CLSID'
    'regkey|HKEY_LOCAL_MACHINE\Software\Wow6432Node\Classes\CLSID'
    'regkey|HKEY_CLASSES_ROOT\Interface'
    'regkey|HKEY_CLASSES_ROOT\TypeLib'
    'regkey|HKEY_CURRENT_USER\Software\Classes'
    'regval|HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Environment,PATH'
    'regval|HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Control\Session Manager\Environment,windir'
    'regval|HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Winlogon,Shell'
    "regval|$runkey,Spy$tag"
)
if [ -n "$sid" ]; then
    rows+=("regkey|HKEY_USERS\\$sid\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
        "regkey|HKEY_USERS\\$sid\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders")
fi
# Unix symbolic links, which Wine does not show as reparse points: one inside a spyware folder
# (the folder goes, the files the link leads to stay), and one named by a row itself.
outside="$work/outside"
mkdir -p "$outside/inner" "$disk/SpyTree/sub"
printf 'keep' >"$outside/keep.txt"
printf 'keep' >"$outside/inner/keep2.txt"
printf 'spy' >"$disk/SpyTree/sub/spy.dat"
ln -s "$outside" "$disk/SpyTree/sub/link"
ln -s "$outside" "$disk/SpyLink"
rows+=("folder|C:\\$tag\\SpyTree" "folder|C:\\$tag\\SpyLink")

lines=()
for row in "${rows[@]}"; do lines+=("$row|Adware.Hostile|"); done
write_database "${lines[@]}"

protected_keys=(
    "$runkey" 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
    'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' 'HKLM\SYSTEM\MountedDevices'
    'HKLM\SYSTEM\CurrentControlSet\Services\EventLog' 'HKLM\SYSTEM\CurrentControlSet\Services\MountMgr'
    'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon'
    'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
    'HKCR\exefile' 'HKCR\.exe' 'HKCR\lnkfile' 'HKCR\Directory' 'HKCR\Folder' 'HKCR\Interface'
)
fingerprint() {
    (cd "$drive_c" && find windows "Program Files" "Program Files (x86)" ProgramData users -printf '%p %s %y\n' 2>/dev/null |
        grep -v '^windows/temp/' | sort)
    local key
    for key in "${protected_keys[@]}"; do
        # On a busy machine Wine now and then fails to start reg.exe itself ("Application could
        # not be started"): that is asked again, never taken for the key's content.
        local dump attempt
        for attempt in 1 2 3 4 5; do
            dump=$("$run" reg query "$key" /s </dev/null 2>/dev/null | tr -d '\r') || true
            grep -q 'ShellExecuteEx failed\|could not be started' <<<"$dump" || break
        done
        grep -v "Spy$tag" <<<"$dump" || true
    done
}
fingerprint >"$work/before.txt"
[ "$(wc -l <"$work/before.txt")" -gt 1000 ] || fail "the fingerprint saw too little of the system"

# Custom mode with the hard-disk listing and automatic erase, as an unattended automatic scan runs it.
cli scan
mkdir -p "$work/app/Settings"
printf '1\r\n1\r\n1\r\n0\r\n1\r\n0\r\n1\r\n' >"$work/app/Settings/CustomScan.stg"
cli remove --mode custom --json "$(winpath "$work/remove.json")"
tr -d '\r' <"$work/out" >"$work/remove.out"

fingerprint >"$work/after.txt"
diff "$work/before.txt" "$work/after.txt" >"$work/diff.txt" || fail "the system changed: $(head -20 "$work/diff.txt")"
"$run" reg query "$runkey" /v "Keep$tag" </dev/null >/dev/null 2>&1 || fail "the user's own Run value went"
[ -f "$outside/keep.txt" ] && [ -f "$outside/inner/keep2.txt" ] || fail "a removal reached through a Unix link"
[ ! -e "$disk/SpyTree/sub/spy.dat" ] || fail "the spyware folder beside the link stayed"
"$run" reg query "$runkey" /v "Spy$tag" </dev/null >/dev/null 2>&1 && fail "the planted Run value stayed"

python3 - "$work/remove.json" "$tag" <<'PY' || fail "a found row has no skip line, or too few rows were found"
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
tag = sys.argv[2]
log = report["log"]
skipped = [line for line in log if line.startswith("Protected object skipped=")]
missing = []
found = 0
for row in report["results"]:
    kind = row["type"].lower()
    if kind == "regval" and row["object"].endswith("Spy" + tag):
        continue
    if tag in row["object"]:
        continue
    if any(line.startswith("Not removed automatically=" + row["object"] + " (") for line in log):
        continue
    found += 1
    if not any(line.startswith("Protected object skipped=" + row["object"] + " (") for line in skipped):
        missing.append((row["type"], row["object"]))
for m in missing:
    print("no skip line:", m, file=sys.stderr)
print(f"{found} rows found, {len(skipped)} skip lines", file=sys.stderr)
# Every spelling of this database that Wine resolves is found; most of them are.
sys.exit(1 if missing or found < 40 else 0)
PY
echo "a hostile database removes nothing the system needs: ok"
