; Tessory setup: installs the tray program, its component libraries, the dialer with its
; sign-in picture and the connection sound, writes the registry values the programs read and
; nobody else writes, and registers the uninstaller.
;
; Built by CMake (installer/CMakeLists.txt) with:
;   makensis -DBIN_DIR=<build>/bin -DSRC_DIR=<source> -DOUT_FILE=<setup.exe> -DVERSION=2.0 Tessory.nsi
;
; ANSI, so that it runs on Windows 95. Registry: the installer is a 32-bit program, so on
; 64-bit Windows its HKLM\SOFTWARE is the 32-bit view (Wow6432Node), the very view the 32-bit
; programs read. No SetRegView: it would add KEY_WOW64_32KEY to every access, a flag that
; Windows 95 and NT 4 do not know.

Unicode false
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION
  !define VERSION "2.0"
!endif
!define PRODUCT "Tessory"
!define PUBLISHER "Velmora"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessory"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define APP_KEY "SOFTWARE\Velmora\Corvane"
!define TRAY_KEY "SOFTWARE\Velmora\Tessory\Corvane"
; The tray program's resident frame (class and caption) and its Shutdown command.
!define TRAY_FRAME_CLASS "TzFwFrame"
!define TRAY_FRAME_TITLE "Corvane"
!define ID_SHUTDOWN 32774

Name "Velmora Tessory ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\Velmora\Tessory"
; A second install goes where the first went.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "Velmora Tessory ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Velmora Tessory"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "Tessory Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Velmora"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define MUI_ABORTWARNING
!define MUI_ICON "${SRC_DIR}/tray/res/Corvane.ico"
!define MUI_UNICON "${SRC_DIR}/tray/res/Corvane.ico"
!define MUI_WELCOMEPAGE_TEXT "This will install the Tessory PPPoE client on this computer: the Tessory tray program, which prepares the PPPoE components at every log-on, and the Tessory Dialer, which connects you to your provider.$\r$\n$\r$\nIf the tray program is running, Setup ends it before replacing its files.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Corvane.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start the Tessory tray program now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends a running tray program the way its own menu does (Shutdown: the frame closes, the
; components are unloaded, the instance lock released) and waits until its files are free.
!macro DEFINE_STOP_TRAY un
Function ${un}StopTray
  FindWindow $0 "${TRAY_FRAME_CLASS}" "${TRAY_FRAME_TITLE}"
  ${If} $0 == 0
    Return
  ${EndIf}
  DetailPrint "Ending the Tessory tray program"
  ; With a time-out: a program still starting up (no message loop yet) handles the command
  ; once its loop runs, and the wait below covers that.
  SendMessage $0 ${WM_COMMAND} ${ID_SHUTDOWN} 0 /TIMEOUT=5000
  StrCpy $1 0
  ${Do}
    FindWindow $0 "${TRAY_FRAME_CLASS}" "${TRAY_FRAME_TITLE}"
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 > 300
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
  ; The window goes first; the process ends a moment later, and only then may its program
  ; file be written.
  StrCpy $1 0
  ${DoWhile} ${FileExists} "$INSTDIR\Corvane.exe"
    ClearErrors
    FileOpen $2 "$INSTDIR\Corvane.exe" a
    ${IfNot} ${Errors}
      FileClose $2
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 > 100
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
FunctionEnd
!macroend
!insertmacro DEFINE_STOP_TRAY ""
!insertmacro DEFINE_STOP_TRAY "un."

; HKLM and the program folder are for administrators only on Windows NT; Windows 95/98 let
; anyone write them. Finding out by writing is what works on every one of them.
!macro CHECK_ADMIN
  ClearErrors
  WriteRegStr HKLM "${UNINST_KEY}" "SetupAccessCheck" "1"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Tessory can only be set up by an administrator of this computer.$\r$\n$\r$\nPlease log on as an administrator and run Setup again." /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
  DeleteRegValue HKLM "${UNINST_KEY}" "SetupAccessCheck"
!macroend

Function .onInit
  !insertmacro CHECK_ADMIN
FunctionEnd

Function un.onInit
  !insertmacro CHECK_ADMIN
FunctionEnd

Section "Tessory" SecMain
  SectionIn RO
  Call StopTray

  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/Corvane.exe"
  File "${BIN_DIR}/TzOSControl.dll"
  File "${BIN_DIR}/TzSetupUtils.dll"
  File "${BIN_DIR}/TzDialer.exe"
  File "${SRC_DIR}/dialer/res/signin_zn.bmp"
  File "${SRC_DIR}/installer/connect.wav"
  ; The help file and its contents file, when the build made them.
  !if /FileExists "${BIN_DIR}/ZnSetup.hlp"
    File "${BIN_DIR}/ZnSetup.hlp"
  !endif
  !if /FileExists "${BIN_DIR}/ZnSetup.cnt"
    File "${BIN_DIR}/ZnSetup.cnt"
  !endif

  ; What the programs read and nobody else writes.
  WriteRegStr HKLM "${TRAY_KEY}" "ShowSysTrayIcon" "Yes"
  WriteRegStr HKLM "${APP_KEY}" "BuildInfo" "${VERSION}"
  WriteRegStr HKLM "${APP_KEY}" "SoundFile" "$INSTDIR\connect.wav"

  ; The tray program at every log-on.
  WriteRegStr HKLM "${RUN_KEY}" "Tessory" '"$INSTDIR\Corvane.exe"'

  ; Start menu, for all users where there are several. The shortcut's working folder is the
  ; current output folder: the dialer finds its picture there.
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Tessory"
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\Tessory\Tessory Dialer.lnk" "$INSTDIR\TzDialer.exe" "" "$INSTDIR\TzDialer.exe" 0
  CreateShortCut "$SMPROGRAMS\Tessory\Uninstall Tessory.lnk" "$INSTDIR\Uninstall.exe"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Velmora Tessory ${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Corvane.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

; Removes what Setup installed and wrote. What the programs and the user made stays, so that
; a later install finds it: the service name (SOFTWARE\Velmora\Corvane\PoE), the Windows NT 4
; adjustment flag, the phonebook entry with its stored credentials, the per-user profiles.
Section "Uninstall"
  Call un.StopTray

  Delete "$INSTDIR\Corvane.exe"
  Delete "$INSTDIR\TzOSControl.dll"
  Delete "$INSTDIR\TzSetupUtils.dll"
  Delete "$INSTDIR\TzDialer.exe"
  Delete "$INSTDIR\signin_zn.bmp"
  Delete "$INSTDIR\connect.wav"
  Delete "$INSTDIR\ZnSetup.hlp"
  Delete "$INSTDIR\ZnSetup.cnt"
  ; WinHelp's index files for the help file, made beside it on first use.
  Delete "$INSTDIR\ZnSetup.gid"
  Delete "$INSTDIR\ZnSetup.fts"
  Delete "$INSTDIR\ZnSetup.ftg"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  ; The maker's folder too, when Setup made it and nothing else is in it.
  ${If} "$INSTDIR" == "$PROGRAMFILES\Velmora\Tessory"
    RMDir "$PROGRAMFILES\Velmora"
  ${EndIf}

  ; What the component libraries and the tray program leave in the system at every start: the
  ; libraries' state key and the runtime report. Neither is worth keeping without them.
  DeleteRegKey HKLM "SOFTWARE\Velmora\TzOS"
  Delete "$WINDIR\Tessory_Runtime.txt"

  SetShellVarContext all
  Delete "$SMPROGRAMS\Tessory\Tessory Dialer.lnk"
  Delete "$SMPROGRAMS\Tessory\Uninstall Tessory.lnk"
  RMDir "$SMPROGRAMS\Tessory"

  DeleteRegValue HKLM "${RUN_KEY}" "Tessory"
  DeleteRegValue HKLM "${TRAY_KEY}" "ShowSysTrayIcon"
  DeleteRegKey /ifempty HKLM "${TRAY_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Velmora\Tessory"
  DeleteRegValue HKLM "${APP_KEY}" "BuildInfo"
  DeleteRegValue HKLM "${APP_KEY}" "SoundFile"
  DeleteRegKey /ifempty HKLM "${APP_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Velmora"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
