; The Windows installer, hearthpad-<version>-setup.exe. scripts/package.sh
; builds it with makensis from Debian's nsis package, passing:
;   VERSION    major.minor.patch
;   STAGE      the folder holding the files to install (stripped, maybe signed)
;   OUTFILE    where to write the installer
;   SIGN       (optional) a command that signs the file named by its last
;              argument; the uninstaller is signed before it is packed, the
;              installer after it is written
;
; A per-machine install into %ProgramFiles%\Hearthpad. What it changes on the
; PC, and takes back on uninstall, is listed in README-Windows.txt.
;
; Command line (besides NSIS's own /S and /D=):
;   /NOSTART   do not start Hearthpad at the end
;   /CTRLALTDEL=yes|no
;              install or leave out the Ctrl+Alt+Del helper; without it the
;              choice of the install being replaced is kept (yes on a
;              first install)
; Exit codes of the installer and the uninstaller:
;   0  done
;   1  cancelled by the user (NSIS)
;   2  a running Hearthpad could not be closed: nothing was changed
;   3  (installer) the install folder could not be made writable by
;      administrators only: nothing was installed
; The uninstall entry runs the uninstaller in place (_?=), so that its
; caller (Apps & features, winget) waits for the real work and gets its exit
; code; the folder goes a moment after it has ended (un.HandOverFolder).

Unicode true
Target amd64-unicode
ManifestDPIAware true
ManifestSupportedOS Win10
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; Installed files keep their times (package.sh pins them to the commit's).
SetDateSave on
CRCCheck on

!ifndef VERSION | STAGE | OUTFILE
  !error "VERSION, STAGE and OUTFILE must be defined (scripts/package.sh does it)"
!endif

!define PRODUCT "Hearthpad"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Hearthpad"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define TRAY_CLASS "HearthpadTrayWindow"
!define HOST_MUTEX "Global\HearthpadHostSingletonMutex"
!define FIREWALL_RULE "Hearthpad"
; How long a running Hearthpad gets to release what it holds and exit.
!define CLOSE_WAIT_STEPS 100 ; of 100 ms
!define EXIT_HOST_STILL_RUNNING 2
!define EXIT_FOLDER_NOT_PROTECTED 3
; REG_DWORD under the uninstall key: 1 when the Ctrl+Alt+Del helper was
; installed, 0 when it was left out. An upgrade offers the same.
!define SAS_CHOICE_VALUE "CtrlAltDelHelper"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Hearthpad"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "See LICENSE"

!ifdef SIGN
  !uninstfinalize '${SIGN} "%1"' = 0
  !finalize '${SIGN} "%1"' = 0
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"
!include "WinMessages.nsh"
!include "Sections.nsh"

!define MUI_ICON "${STAGE}\hearthpad.ico"
!define MUI_UNICON "${STAGE}\hearthpad.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_UNCOMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartHearthpad)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartAsUser
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; English first: the language of a display language the installer does not
; speak. Windows' display language picks one of these at start (NSIS's own
; choice: the exact language, else its primary language), without asking.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Russian"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "SimpChinese"
!include "${__FILEDIR__}\languages.nsh"

Var NoStart
; "yes", "no", or empty (keep the earlier install's choice).
Var SasOption

; ------------------------------------------------------------ shared steps

; Asks every running Hearthpad to exit the way its own menu's Exit does
; (WM_CLOSE to its tray window: it releases held keys and buttons first),
; then waits for the single-instance mutex to go. Never kills it: a killed
; host leaves injected keys down. A host in another user's session has no
; window here, but its global mutex is seen all the same, and it blocks
; the install until that user quits it.
!macro CLOSE_RUNNING_HOST un
Function ${un}CloseRunningHost
  Push $0
  Push $1
  Push $2
  StrCpy $2 0
  ${Do}
    ; Each pass asks again: a host that was starting up may have made its
    ; window only now.
    ${If} $2 = 0
    ${OrIf} $2 = 20
      StrCpy $0 0
      ${Do}
        FindWindow $0 "${TRAY_CLASS}" "" 0 $0
        ${If} $0 = 0
          ${Break}
        ${EndIf}
        DetailPrint "$(AskingToExit)"
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=2000
      ${Loop}
    ${EndIf}
    ; SYNCHRONIZE is all the host's mutex grants other users.
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${HOST_MUTEX}") p .r1'
    ${If} $1 P= 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r1)'
    ${If} $2 >= ${CLOSE_WAIT_STEPS}
      DetailPrint "$(StillRunningDetail)"
      MessageBox MB_OK|MB_ICONSTOP "$(StillRunning)" /SD IDOK
      SetErrorLevel ${EXIT_HOST_STILL_RUNNING}
      Quit
    ${EndIf}
    Sleep 100
    IntOp $2 $2 + 1
  ${Loop}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_HOST ""
!insertmacro CLOSE_RUNNING_HOST "un."

; The firewall rule is found by name and program, so a rule the user made
; for another program under the same name stays. netsh's delete exits 1
; when nothing matched: that is fine.
!macro DELETE_FIREWALL_RULE
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}" program="$INSTDIR\hearthpad.exe"'
  Pop $0
!macroend

; ------------------------------------------------------------ install

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "$(Needs64Bit)" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
  ; An earlier install's folder, unless /D= chose one.
  ${If} $INSTDIR == "$PROGRAMFILES64\Hearthpad"
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSTART" $1
  ${IfNot} ${Errors}
    StrCpy $NoStart 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/CTRLALTDEL=" $1
  ${IfNot} ${Errors}
    StrCpy $SasOption $1
  ${EndIf}
  Call ChooseComponents
FunctionEnd

; The install folder, and everything in it, may be changed by
; administrators and the system only: the helper service runs its program
; as LocalSystem, the elevated task runs hearthpad.exe with full rights and
; the uninstaller runs elevated. Under Program Files that is inherited; a
; folder elsewhere inherits what its parent allows (at the root of a drive,
; "Authenticated Users: Modify" for its files). So, before anything is
; written into it: its own entries are dropped (/reset: what a user who made
; the folder granted), inheritance is turned off with full control for
; SYSTEM and Administrators and read and execute for Users, passed on to
; everything inside, and Administrators own it all (an owner may always
; rewrite the permissions). Well-known SIDs, since group names are
; translated. Where that cannot be done (no icacls, a file system without
; permissions such as FAT) the folder is refused rather than installed into.
Function ProtectInstallFolder
  CreateDirectory "$INSTDIR"
  DetailPrint "$(MakingWritable)"
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /reset'
  Pop $0
  ${If} $0 == 0
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
    Pop $0
  ${EndIf}
  ${If} $0 == 0
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /setowner *S-1-5-32-544 /T'
    Pop $0
  ${EndIf}
  ${If} $0 != 0
    DetailPrint "$(PermissionsFailed)"
    ; Only when empty: nothing of the user's goes.
    RMDir "$INSTDIR"
    MessageBox MB_OK|MB_ICONSTOP "$(PermissionsRefused)" /SD IDOK
    SetErrorLevel ${EXIT_FOLDER_NOT_PROTECTED}
    Quit
  ${EndIf}
FunctionEnd

Section "Hearthpad" SecMain
  SectionIn RO
  Call CloseRunningHost
  Call ProtectInstallFolder
  ; The helper service runs from the install folder: it stops while its
  ; program is replaced.
  ${If} ${FileExists} "$INSTDIR\hearthpad-sas.exe"
    DetailPrint "$(StoppingSas)"
    nsExec::ExecToLog '"$INSTDIR\hearthpad-sas.exe" --stop'
    Pop $0
  ${EndIf}

  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${STAGE}\hearthpad.exe"
  File "${STAGE}\hearthpad-client.exe"
  File "${STAGE}\README-Windows.txt"
  File "${STAGE}\LICENSE"
  File "${STAGE}\THIRD_PARTY_NOTICES.md"
  SetOutPath "$INSTDIR\docs"
  File "${STAGE}\docs\GAMEPAD.md"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Hearthpad.lnk" "$INSTDIR\hearthpad.exe" "" "$INSTDIR\hearthpad.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\hearthpad.exe",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; With _?= the uninstaller runs in place and its caller waits for it
  ; (see un.HandOverFolder).
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; One inbound rule for the installed program, for home and work networks
  ; only: a reinstall first removes the one it made before.
  DetailPrint "$(AllowingFirewall)"
  !insertmacro DELETE_FIREWALL_RULE
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\hearthpad.exe" enable=yes profile=private,domain'
  Pop $0
  ${If} $0 != 0
    DetailPrint "$(FirewallFailed)"
  ${EndIf}
SectionEnd

Section "$(SecSasName)" SecSas
  SetOutPath "$INSTDIR"
  File "${STAGE}\hearthpad-sas.exe"
  DetailPrint "$(InstallingSas)"
  nsExec::ExecToLog '"$INSTDIR\hearthpad-sas.exe" --install'
  Pop $0
  ${If} $0 != 0
    DetailPrint "$(SasFailedDetail)"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(SasFailed)" /SD IDOK
  ${EndIf}
SectionEnd

; Runs last: takes the helper away when an earlier install had it and this
; one leaves it out, and starts Hearthpad.
Section "-Finish"
  ${If} ${SectionIsSelected} ${SecSas}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "${SAS_CHOICE_VALUE}" 1
  ${Else}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "${SAS_CHOICE_VALUE}" 0
    ${If} ${FileExists} "$INSTDIR\hearthpad-sas.exe"
      nsExec::ExecToLog '"$INSTDIR\hearthpad-sas.exe" --uninstall'
      Pop $0
      Delete "$INSTDIR\hearthpad-sas.exe"
    ${EndIf}
  ${EndIf}
  ; Measured once every file is in place, the helper's too.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  ; A silent install starts Hearthpad here; an interactive one offers it on
  ; the finish page.
  ${If} ${Silent}
  ${AndIf} $NoStart != 1
    Call StartAsUser
  ${EndIf}
SectionEnd

; The helper is ticked unless /CTRLALTDEL=no, or the install being replaced
; left it out and /CTRLALTDEL=yes is not given. Defined after the sections,
; whose names it uses; called by .onInit.
Function ChooseComponents
  ${If} $SasOption == "no"
    !insertmacro UnselectSection ${SecSas}
  ${ElseIf} $SasOption != "yes"
    ClearErrors
    ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "${SAS_CHOICE_VALUE}"
    ${IfNot} ${Errors}
    ${AndIf} $0 = 0
      !insertmacro UnselectSection ${SecSas}
    ${EndIf}
  ${EndIf}
FunctionEnd

; Hearthpad must run as the logged-in user, never with this installer's
; rights: the desktop shell starts it (hearthpad.exe --start-as-user asks
; Explorer). Without a shell (a SYSTEM or package-manager context) nothing
; is started and the user starts it from the Start menu.
Function StartAsUser
  nsExec::ExecToLog '"$INSTDIR\hearthpad.exe" --start-as-user'
  Pop $0
  ${If} $0 != 0
    DetailPrint "$(NotStarted)"
  ${EndIf}
FunctionEnd

; ------------------------------------------------------------ uninstall

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEFOLDER=" $1
  ${IfNot} ${Errors}
    Call un.RemoveFolderAfterUninstaller
  ${EndIf}
FunctionEnd

Section "un.Hearthpad" UnSecMain
  SectionIn RO
  Call un.CloseRunningHost
  ; The start-at-login entries of the account running this, only where they
  ; name this installed program.
  ${If} ${FileExists} "$INSTDIR\hearthpad.exe"
    nsExec::ExecToLog '"$INSTDIR\hearthpad.exe" --forget-startup'
    Pop $0
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\hearthpad-sas.exe"
    DetailPrint "$(RemovingSas)"
    nsExec::ExecToLog '"$INSTDIR\hearthpad-sas.exe" --uninstall'
    Pop $0
  ${EndIf}
  !insertmacro DELETE_FIREWALL_RULE

  Delete "$SMPROGRAMS\Hearthpad.lnk"
  Delete "$INSTDIR\hearthpad.exe"
  Delete "$INSTDIR\hearthpad-client.exe"
  Delete "$INSTDIR\hearthpad-sas.exe"
  Delete "$INSTDIR\README-Windows.txt"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\THIRD_PARTY_NOTICES.md"
  Delete "$INSTDIR\docs\GAMEPAD.md"
  RMDir "$INSTDIR\docs"
  Delete "$INSTDIR\uninstall.exe"
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    Call un.HandOverFolder
  ${EndIf}
  ; Only when empty: files the user put there stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; The uninstall entry runs the uninstaller in place (with _?=), so that
; whoever runs it (Apps & features, winget, a script) waits for the real
; work and learns its exit code; NSIS's own way, without _?=, starts a copy
; in the temporary folder and returns 0 at once, whatever the uninstall
; comes to. A program running in place cannot delete its own file, nor
; therefore the folder: a copy of the uninstaller, started from the
; temporary folder with /REMOVEFOLDER=<this process's id>, does that once
; this one has ended (after its last page, when it shows pages).
Function un.HandOverFolder
  ${If} "$EXEDIR" == "$INSTDIR"
    GetTempFileName $0
    Delete "$0"
    StrCpy $0 "$0.exe"
    ClearErrors
    CopyFiles /SILENT /FILESONLY "$EXEPATH" "$0"
    ${IfNot} ${Errors}
      System::Call 'kernel32::GetCurrentProcessId() i .r1'
      ; Not from inside the folder, for either program.
      SetOutPath "$TEMP"
      Exec '"$0" /REMOVEFOLDER=$1 _?=$INSTDIR'
      Return
    ${EndIf}
  ${EndIf}
  ; Otherwise both go at the next restart.
  Delete /REBOOTOK "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
FunctionEnd

; The copy's whole work ($1: the id of the uninstaller that started it): it
; waits until that one has ended and its file can go (at most 3 s more),
; removes the folder when nothing else is left in it, and shows no window.
; What cannot go now (and the copy itself) goes at the next restart.
Function un.RemoveFolderAfterUninstaller
  ; SYNCHRONIZE. Should it have ended already, there is nothing to open
  ; and its file is free for the loop below.
  System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
  ${If} $2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i -1) i'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${EndIf}
  StrCpy $1 0
  ${Do}
    Delete "$INSTDIR\uninstall.exe"
    ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
    ${OrIf} $1 >= 30
      ${Break}
    ${EndIf}
    Sleep 100
    IntOp $1 $1 + 1
  ${Loop}
  Delete /REBOOTOK "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  Delete /REBOOTOK "$EXEPATH"
  SetErrorLevel 0
  Quit
FunctionEnd

; The data folders of the account running the uninstaller (for an
; uninstall elevated with another account's password, that account's).
Section /o "un.$(UnSecDataName)" UnSecData
  SetShellVarContext current
  RMDir /r "$APPDATA\Hearthpad"
  RMDir /r "$LOCALAPPDATA\Hearthpad"
  SetShellVarContext all
SectionEnd
