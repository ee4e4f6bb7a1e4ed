; Pellora setup: a 64-bit, per-machine installer of the application folder.
;
; Built by packaging/build-installer.cmake, which stages the application folder and defines:
;   STAGE_DIR   the staged application folder (the files to install)
;   FILE_LIST   an include file with the macros PelloraInstallFiles and PelloraRemoveFiles, which
;               name every staged file, so the uninstaller removes exactly what was installed, and
;               INSTALLED_SIZE_KB, their size
;   OUT_FILE    the installer to write
;   ICON_FILE   the program's icon
;   SIGN_COMMAND (optional) a command that signs the file given as its last argument
;
; Pellora keeps its settings, quarantine, registry backups and log below its own folder. The
; installer never writes them, so an upgrade keeps them as they are; the uninstaller removes them
; only when the user says so (never in silent mode).

Unicode true
Target amd64-unicode
ManifestSupportedOS all
RequestExecutionLevel admin
; The stub's manifest then names version 6 of the common controls, which the system takes from its
; side-by-side store instead of looking for COMCTL32.dll beside the setup program.
XPStyle on
SetCompressor /SOLID lzma
; No file times in the installer: two builds of the same commit give the same bytes.
SetDateSave off
CRCCheck on

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include x64.nsh
!include MUI2.nsh

!getdllversion "${STAGE_DIR}/Pellora.exe" PELLORA_VERSION_
!define VERSION "${PELLORA_VERSION_1}.${PELLORA_VERSION_2}.${PELLORA_VERSION_3}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellora"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MAIN_WINDOW_CLASS "PelloraMain"
!define TASK_NAME "Pellora"
; The event log source: its messages are the table in the executables.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Pellora"

!ifdef SIGN_COMMAND
!finalize '${SIGN_COMMAND} "%1"'
!uninstfinalize '${SIGN_COMMAND} "%1"'
!endif

Name "Pellora"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Pellora"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Pellora ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${PELLORA_VERSION_1}.${PELLORA_VERSION_2}.${PELLORA_VERSION_3}.${PELLORA_VERSION_4}"
VIAddVersionKey /LANG=1033 "ProductName" "Pellora"
VIAddVersionKey /LANG=1033 "CompanyName" "Pellora"
VIAddVersionKey /LANG=1033 "FileDescription" "Pellora setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Pellora"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Pellora.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Pellora"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!include "${FILE_LIST}"

Var KeepData

; Is Pellora.exe or pellora-cli.exe running? Both keep Pellora.lock in the application folder
; open without sharing, so opening it fails with a sharing violation (32) while one runs; a name
; of a mutex, which any process could hold, plays no part. $R9 = 1 when running.
!macro PelloraRunningFunction prefix
Function ${prefix}PelloraRunning
    Push $R8
    StrCpy $R9 0
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\Pellora.lock", i 0x80000000, i 0, p 0, i 3, i 0, p 0) p.R7 ?e'
    Pop $R8
    ${If} $R8 = 32
        StrCpy $R9 1
    ${Else}
        ; Also for a file that could not be opened: closing the invalid handle does nothing.
        System::Call 'kernel32::CloseHandle(p R7)'
    ${EndIf}
    Pop $R8
FunctionEnd

; Closes a running Pellora before its files are replaced or removed: asks first (silent mode
; goes on), closes each main window as its own close box would, and waits for the program to end.
; A program that does not end (a scan under way, or the console program) is not killed: the user
; may close it and retry; silent mode gives up with exit code 2.
Function ${prefix}ClosePellora
    Call ${prefix}PelloraRunning
    ${If} $R9 == 0
        Return
    ${EndIf}
    MessageBox MB_OKCANCEL|MB_ICONINFORMATION "Pellora is running. Setup will close it before going on." /SD IDOK IDOK close
    SetErrorLevel 2
    Quit
close:
    FindWindow $R8 "${MAIN_WINDOW_CLASS}"
    ${DoWhile} $R8 P<> 0
        SendMessage $R8 ${WM_CLOSE} 0 0 /TIMEOUT=5000
        FindWindow $R8 "${MAIN_WINDOW_CLASS}" "" 0 $R8
    ${Loop}
    ${ForEach} $R8 1 100 + 1
        Call ${prefix}PelloraRunning
        ${If} $R9 == 0
            Return
        ${EndIf}
        Sleep 200
    ${Next}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Pellora is still running (a scan or the console program may be at work). Close it, then choose Retry." /SD IDCANCEL IDRETRY close
    SetErrorLevel 2
    Quit
FunctionEnd
!macroend
!insertmacro PelloraRunningFunction ""
!insertmacro PelloraRunningFunction "un."

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "Pellora needs a 64-bit Windows." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Section "Pellora" SecMain
    SectionIn RO
    Call ClosePellora
    ; Before any file is written, whatever folder was chosen: only Administrators and SYSTEM may
    ; change it (Users read and run), nothing inherited, for the folder and all below it. The
    ; elevated program, its logon task and its keys live there. The step runs from a copy of the
    ; console program in a folder of its own below the program files folder, where only
    ; administrators may write: never from the folder it secures, nor from $PLUGINSDIR in the
    ; user's temporary folder, where the user could replace it or put a library beside it.
    StrCpy $1 "$PROGRAMFILES64\Pellora Setup Step"
    RMDir /r "$1"
    CreateDirectory "$INSTDIR"
    ClearErrors
    CreateDirectory "$1"
    SetOutPath "$1"
    File "/oname=$1\pellora-cli.exe" "${STAGE_DIR}\pellora-cli.exe"
    ${If} ${Errors}
        StrCpy $0 2
    ${Else}
        ExecWait '"$1\pellora-cli.exe" secure-folder "$INSTDIR"' $0
    ${EndIf}
    SetOutPath "$INSTDIR"
    RMDir /r "$1"
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONSTOP "Setup could not restrict who may change $INSTDIR. Choose another folder." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}

    ; A database signature with no database beside it (left by an uninstallation before this
    ; version deleted it) would refuse the release's database at its first load: it goes.
    ${IfNot} ${FileExists} "$INSTDIR\DataBase.ref"
    ${AndIfNot} ${FileExists} "$INSTDIR\DataBase.prev"
        Delete "$INSTDIR\DataBase.sig"
        Delete "$INSTDIR\DataBase.new.sig"
    ${EndIf}
    ; An updated database may be newer than the release's: it is set aside, with its signature
    ; left beside it, and the program keeps the newer of the two whose signature checks out at
    ; its next start. One set aside by an earlier upgrade and not yet compared stays as it is.
    IfFileExists "$INSTDIR\DataBase.prev" +3 0
    IfFileExists "$INSTDIR\DataBase.ref" 0 +2
    Rename "$INSTDIR\DataBase.ref" "$INSTDIR\DataBase.prev"
    !insertmacro PelloraInstallFiles
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Pellora.lnk" "$INSTDIR\Pellora.exe" "" "$INSTDIR\Pellora.exe" 0

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Pellora"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Pellora"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Pellora.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; The program's own files only, in KB: kept data is the user's, not the program's size.
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${INSTALLED_SIZE_KB}

    WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\Pellora.exe"
    ; Error, warning and information.
    WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
SectionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

; Deletes a folder tree of the program's data without ever entering a junction or symbolic link:
; in a folder a user may write to, a planted link would otherwise lead an elevated uninstaller
; into any folder of the machine. A link itself is removed, not what it points to.
Function un.DeleteDataTree
    Exch $R0
    Push $R1
    Push $R2
    System::Call 'kernel32::GetFileAttributesW(w R0) i.R2'
    ${If} $R2 = -1
        Goto done
    ${EndIf}
    IntOp $R2 $R2 & 0x400
    ${If} $R2 <> 0
        RMDir "$R0"
        Goto done
    ${EndIf}
    FindFirst $R1 $R2 "$R0\*"
    ${DoWhile} $R2 != ""
        ${If} $R2 != "."
        ${AndIf} $R2 != ".."
            ${If} ${FileExists} "$R0\$R2\*"
                Push "$R0\$R2"
                Call un.DeleteDataTree
            ${Else}
                SetFileAttributes "$R0\$R2" NORMAL
                Delete "$R0\$R2"
            ${EndIf}
        ${EndIf}
        FindNext $R1 $R2
    ${Loop}
    FindClose $R1
    RMDir "$R0"
done:
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd

Section "Uninstall"
    Call un.ClosePellora

    ; Start at logon: the Run value when it names this installation, and the logon task.
    ReadRegStr $0 HKLM "${RUN_KEY}" "Pellora"
    ${If} $0 == "$INSTDIR\Pellora.exe"
    ${OrIf} $0 == '"$INSTDIR\Pellora.exe"'
        DeleteRegValue HKLM "${RUN_KEY}" "Pellora"
    ${EndIf}
    nsExec::Exec '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK_NAME}" /F'
    Pop $0

    !insertmacro PelloraRemoveFiles
    ; The program's own companions of the database go with it: an updated database's
    ; signature, the previous edition and its signature, one set aside by an upgrade, an
    ; unfinished download. Left behind, a signature would refuse the next installation's database.
    Delete "$INSTDIR\DataBase.sig"
    Delete "$INSTDIR\DataBase.new.sig"
    Delete "$INSTDIR\DataBase.bak"
    Delete "$INSTDIR\DataBase.bak.sig"
    Delete "$INSTDIR\DataBase.prev"
    Delete "$INSTDIR\DataBase.tmp"
    Delete "$INSTDIR\Uninstall.exe"
    Delete "$SMPROGRAMS\Pellora.lnk"
    DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"

    ; /REMOVEDATA: a scripted uninstall that deletes the kept data too, without the question.
    StrCpy $KeepData 1
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVEDATA" $1
    ${IfNot} ${Errors}
        StrCpy $KeepData 0
    ${ElseIf} ${FileExists} "$INSTDIR\Quarantine\*"
    ${OrIf} ${FileExists} "$INSTDIR\Registry Backups\*"
    ${OrIf} ${FileExists} "$INSTDIR\Settings\*"
        MessageBox MB_YESNO|MB_ICONQUESTION "Keep Pellora's quarantine, registry backups, settings and log in $INSTDIR?$\r$\n$\r$\nYes keeps them for a later installation; No deletes them." /SD IDYES IDYES keep
        StrCpy $KeepData 0
    keep:
    ${EndIf}
    ${If} $KeepData == 0
        Push "$INSTDIR\Quarantine"
        Call un.DeleteDataTree
        Push "$INSTDIR\Registry Backups"
        Call un.DeleteDataTree
        Push "$INSTDIR\Registry Exports"
        Call un.DeleteDataTree
        Push "$INSTDIR\Settings"
        Call un.DeleteDataTree
        Delete "$INSTDIR\DavEre.roz"
    ${EndIf}
    ; Only when empty: whatever else is there was not put there by this installer.
    RMDir "$INSTDIR"
    ; Last, so that an uninstallation cut short can be run again from the same entry.
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
