; The setup program of Tavrix Dovetrak 3, built by tools/package with NSIS's
; makensis (it runs on Linux). One per-user installation that never needs
; administrator rights:
;
;   %LOCALAPPDATA%\Programs\Tavrix Dovetrak 3\   Dovetrak3.exe, tvxdt3.reg (the
;                                                defaults, read beside the program),
;                                                index.html and resources\ (the
;                                                manual), Uninstall.exe
;   Start menu\Programs\Tavrix Dovetrak 3.lnk
;   HKCU\...\Run "Tavrix Dovetrak 3"            "<exe>" StartUp (start at logon)
;   HKCU\...\App Paths\Dovetrak3.exe             default value the exe, "Path" its
;                                                folder (the manual link reads it)
;   HKCU\...\Uninstall\Tavrix Dovetrak 3         the entry in the installed programs
;
; The user's settings (HKCU\Software\Tavrix Dovetrak 3) and the catalogue the
; program keeps in its folder (*.DBF, *.CDX) are never written here; an
; installation over an earlier one keeps them, and the uninstaller removes them
; only when the user ticks the box that asks for it. The backup disk is never
; touched.
;
; Defines given by tools/package:
;   TVX_STAGE      folder with what ships (Dovetrak3.exe, tvxdt3.reg, index.html, resources/)
;   TVX_HELP_LIST  include file with the macros TVX_INSTALL_HELP and TVX_REMOVE_HELP,
;                  one line per page of resources/
;   TVX_ICON       the program's icon
;   TVX_WIZARD_BITMAP  the side picture of the welcome and finish pages
;   TVX_OUTFILE    the setup program to write

Unicode true
; The program is x64 only; so is its setup (and it then runs where 32-bit
; Windows programs cannot, as in a 64-bit-only Wine).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include nsDialogs.nsh
!include WinMessages.nsh
!include "${TVX_HELP_LIST}"

; The version is read from the built program, so setup and program always agree.
!getdllversion "${TVX_STAGE}/Dovetrak3.exe" TVX_VERSION_
!define TVX_VERSION "${TVX_VERSION_1}.${TVX_VERSION_2}.${TVX_VERSION_3}.${TVX_VERSION_4}"

!define TVX_NAME "Tavrix Dovetrak 3"
!define TVX_EXE "Dovetrak3.exe"
!define TVX_WINDOW_CLASS "Thisisthedovetrak3wndclassname"
!define TVX_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define TVX_APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\${TVX_EXE}"
!define TVX_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${TVX_NAME}"
!define TVX_SETTINGS_KEY "Software\Tavrix Dovetrak 3"
!define TVX_SHORTCUT "$SMPROGRAMS\${TVX_NAME}.lnk"
; How long a running copy is given to end after it was asked to close.
!define TVX_CLOSE_WAIT_MS 30000

Name "${TVX_NAME}"
OutFile "${TVX_OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${TVX_NAME}"
; Installing again goes where the earlier installation went.
InstallDirRegKey HKCU "${TVX_UNINSTALL_KEY}" "InstallLocation"
BrandingText "${TVX_NAME} ${TVX_VERSION}"

VIProductVersion "${TVX_VERSION}"
VIFileVersion "${TVX_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${TVX_NAME}"
VIAddVersionKey /LANG=1033 "CompanyName" "Tavrix Corporation"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright Tavrix Corporation"
VIAddVersionKey /LANG=1033 "FileDescription" "${TVX_NAME} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${TVX_VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${TVX_VERSION}"

!define MUI_ICON "${TVX_ICON}"
!define MUI_UNICON "${TVX_ICON}"
!define MUI_ABORTWARNING
; The side picture of the program's own setup wizard, its proportions kept.
!define MUI_WELCOMEFINISHPAGE_BITMAP "${TVX_WIZARD_BITMAP}"
!define MUI_WELCOMEFINISHPAGE_BITMAP_STRETCH AspectFitHeight

!define MUI_WELCOMEPAGE_TEXT "Setup installs ${TVX_NAME} ${TVX_VERSION} for you alone; it needs no administrator rights.$\r$\n$\r$\nIf ${TVX_NAME} is running, Setup closes it and starts it again afterwards. Your settings and the catalogue of copied files are kept.$\r$\n$\r$\nClick Install to start the installation."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
; Started without a start word. On a first installation the program imports
; the defaults beside it, which leave mirroring off, so it opens its settings
; window; a user who already mirrors sees it run on hidden (or, when this
; setup restarted it, the running copy opens its settings).
!define MUI_FINISHPAGE_RUN "$INSTDIR\${TVX_EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "&Start ${TVX_NAME} now"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.UserDataPage un.UserDataPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; 1 when the installer closed a running copy (it is started again afterwards).
Var ClosedRunningCopy
; 1 when the user asked the uninstaller to remove the settings and the catalogue.
Var RemoveUserData
Var RemoveUserDataBox

; Asks a running copy to close (WM_CLOSE to its hidden main window, as Windows
; does at logoff) and waits until its process has ended, so that its files can
; be replaced or removed. When it does not end in time, the user may close it
; and retry; a silent run gives up. Sets $ClosedRunningCopy.
!macro TVX_CLOSE_RUNNING_COPY UN
Function ${UN}CloseRunningCopy
    StrCpy $ClosedRunningCopy 0
    retry:
    FindWindow $0 "${TVX_WINDOW_CLASS}"
    ${If} $0 == 0
        Return
    ${EndIf}
    DetailPrint "Closing the running ${TVX_NAME}..."
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    ; SYNCHRONIZE: enough to wait for the process.
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0)'
    ; $3: 0 once the copy has ended.
    ${If} $2 != 0
        System::Call 'kernel32::WaitForSingleObject(p r2, i ${TVX_CLOSE_WAIT_MS}) i .r3'
        System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
        ; The process cannot be opened: wait for its window to go instead.
        StrCpy $4 0
        ${Do}
            FindWindow $3 "${TVX_WINDOW_CLASS}"
            ${If} $3 == 0
            ${OrIf} $4 >= ${TVX_CLOSE_WAIT_MS}
                ${ExitDo}
            ${EndIf}
            Sleep 100
            IntOp $4 $4 + 100
        ${Loop}
    ${EndIf}
    ${If} $3 != 0
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
            "${TVX_NAME} is still running. Close it (for example from its icon in the notification area), then click Retry." \
            /SD IDCANCEL IDRETRY retry
        Abort "${TVX_NAME} is still running."
    ${EndIf}
    StrCpy $ClosedRunningCopy 1
FunctionEnd
!macroend
!insertmacro TVX_CLOSE_RUNNING_COPY ""
!insertmacro TVX_CLOSE_RUNNING_COPY "un."

Function .onInit
    SetShellVarContext current
FunctionEnd

Section "-Program" SecProgram
    Call CloseRunningCopy

    SetOverwrite on
    SetOutPath "$INSTDIR"
    File "${TVX_STAGE}/${TVX_EXE}"
    File "${TVX_STAGE}/tvxdt3.reg"
    File "${TVX_STAGE}/index.html"
    !insertmacro TVX_INSTALL_HELP
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateShortcut "${TVX_SHORTCUT}" "$INSTDIR\${TVX_EXE}" "" "$INSTDIR\${TVX_EXE}" 0 SW_SHOWNORMAL "" \
        "Back up your folders to a removable disk"
    WriteRegStr HKCU "${TVX_RUN_KEY}" "${TVX_NAME}" '"$INSTDIR\${TVX_EXE}" StartUp'
    WriteRegStr HKCU "${TVX_APP_PATHS_KEY}" "" "$INSTDIR\${TVX_EXE}"
    WriteRegStr HKCU "${TVX_APP_PATHS_KEY}" "Path" "$INSTDIR"

    WriteRegStr HKCU "${TVX_UNINSTALL_KEY}" "DisplayName" "${TVX_NAME}"
    WriteRegStr HKCU "${TVX_UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${TVX_EXE},0"
    WriteRegStr HKCU "${TVX_UNINSTALL_KEY}" "DisplayVersion" "${TVX_VERSION}"
    WriteRegDWORD HKCU "${TVX_UNINSTALL_KEY}" "VersionMajor" ${TVX_VERSION_1}
    WriteRegDWORD HKCU "${TVX_UNINSTALL_KEY}" "VersionMinor" ${TVX_VERSION_2}
    WriteRegStr HKCU "${TVX_UNINSTALL_KEY}" "Publisher" "Tavrix"
    WriteRegStr HKCU "${TVX_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${TVX_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${TVX_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${TVX_UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${TVX_UNINSTALL_KEY}" "NoRepair" 1
    ; In KiB: what this section installs (the uninstaller not counted).
    SectionGetSize ${SecProgram} $0
    WriteRegDWORD HKCU "${TVX_UNINSTALL_KEY}" "EstimatedSize" $0

    ; A copy that ran before the update runs on, now from the new files: the
    ; backups must not stop until the next logon.
    ${If} $ClosedRunningCopy == 1
        DetailPrint "Starting ${TVX_NAME} again..."
        Exec '"$INSTDIR\${TVX_EXE}" StartUp'
    ${EndIf}
SectionEnd

Function un.onInit
    SetShellVarContext current
    StrCpy $RemoveUserData 0
FunctionEnd

Function un.UserDataPage
    !insertmacro MUI_HEADER_TEXT "Your settings and catalogue" \
        "Choose whether to keep them for a later installation."
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateLabel} 0 0 100% 40u \
        "${TVX_NAME} keeps your settings and its catalogue of the files it has copied, so that a later installation carries on where this one stops. Your backup disk and the copies on it are never touched."
    Pop $0
    ${NSD_CreateCheckbox} 0 48u 100% 12u "&Remove my settings and the catalogue too"
    Pop $RemoveUserDataBox
    ${If} $RemoveUserData == 1
        ${NSD_Check} $RemoveUserDataBox
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function un.UserDataPageLeave
    ${NSD_GetState} $RemoveUserDataBox $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $RemoveUserData 1
    ${Else}
        StrCpy $RemoveUserData 0
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.CloseRunningCopy

    ; Only what the installer put there: a file the user or the program added
    ; keeps its folder.
    Delete "$INSTDIR\${TVX_EXE}"
    Delete "$INSTDIR\tvxdt3.reg"
    Delete "$INSTDIR\index.html"
    !insertmacro TVX_REMOVE_HELP

    Delete "${TVX_SHORTCUT}"
    DeleteRegValue HKCU "${TVX_RUN_KEY}" "${TVX_NAME}"
    DeleteRegKey HKCU "${TVX_APP_PATHS_KEY}"
    DeleteRegKey HKCU "${TVX_UNINSTALL_KEY}"

    ${If} $RemoveUserData == 1
        Delete "$INSTDIR\*.DBF"
        Delete "$INSTDIR\*.CDX"
        DeleteRegKey HKCU "${TVX_SETTINGS_KEY}"
    ${EndIf}

    Delete "$INSTDIR\Uninstall.exe"
    ; Removed only when empty: a kept catalogue keeps the folder.
    RMDir "$INSTDIR"
SectionEnd
