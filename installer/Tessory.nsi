; Tessory setup: installs the tray program, its component libraries (unless the adapter maker's
; own are there), the dialer with its sign-in picture and the connection sound, writes the
; registry values the programs read and nobody else writes, and registers the uninstaller.
;
; Built by CMake (installer/CMakeLists.txt) with:
;   makensis -DBIN_DIR=<build>/bin -DSRC_DIR=<source> -DOUT_FILE=<setup.exe> -DVERSION=<project version> Tessory.nsi
;
; ANSI, so that it runs on Windows 95. Registry: the installer is a 32-bit program, so on
; 64-bit Windows its HKLM\SOFTWARE is the 32-bit view (Wow6432Node), the very view the 32-bit
; programs read. No SetRegView: it would add KEY_WOW64_32KEY to every access, a flag that
; Windows 95 and NT 4 do not know. No plug-in beyond what the Modern UI itself uses.
;
; All or nothing: every check comes before the first change, and a check that fails ends
; Setup (or the uninstaller) with nothing changed; a tray program it had ended is started again.
;
; Command line: /S silent; /D=<folder> (last) the install folder; /ALLOWDOWNGRADE installs
; over a newer version.
;
; Exit codes of Setup and of Uninstall.exe (the same in silent mode, where no question is asked):
;      0  done
;      1  cancelled by the user
;      2  stopped by an error that NSIS reports (disk full, ...)
;     32  a file that must be replaced or removed is in use (the Tessory Dialer, the help open in
;         WinHelp, the tray program of another user, ...); nothing was changed
;     80  Setup only: the chosen folder holds another program's file under a name that Setup
;         uses; nothing was changed
;    740  not run by an administrator; nothing was changed
;   1157  Setup only: Dial-Up Networking is not installed; nothing was changed
;   1638  Setup only: a newer version is installed (see /ALLOWDOWNGRADE); nothing was changed
;   3010  done, but a file in use could not be replaced or removed: Windows does that at the
;         next restart (the uninstaller then finishes by itself at the next log-on)

Unicode false
SetCompressor /SOLID lzma
RequestExecutionLevel admin
; A file that cannot be written stops Setup; it is never skipped.
AllowSkipFiles off

!ifndef VERSION
  !error "VERSION is not defined: makensis -DVERSION=<project version>"
!endif
!define PRODUCT "Tessory"
!define PUBLISHER "Velmora"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessory"
; What Setup installed into the install folder, one value ("1") per file name. Beside the
; entry's values: OwnComponents (1: the project's component libraries, 0: the maker's) and
; StartMenuFolder (where the shortcuts went).
!define FILES_KEY "${UNINST_KEY}\Files"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUNONCE_KEY "Software\Microsoft\Windows\CurrentVersion\RunOnce"
!define APP_KEY "SOFTWARE\Velmora\Corvane"
!define TRAY_KEY "SOFTWARE\Velmora\Tessory\Corvane"
!define STATE_KEY "SOFTWARE\Velmora\TzOS"
; The tray program's resident frame (class and caption) and its Shutdown command.
!define TRAY_FRAME_CLASS "TzFwFrame"
!define TRAY_FRAME_TITLE "Corvane"
!define ID_SHUTDOWN 32774
; A new file waits under this suffix beside the one it replaces.
!define NEW_SUFFIX ".tz~"

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
; The project's mark (FileMark.nsh): Setup and the uninstaller it writes are its own files too.
VIAddVersionKey "Comments" "Velmora Tessory ${VERSION}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"
!addincludedir "${__FILEDIR__}"
!include "FileMark.nsh"

Var TrayWasRunning   ; 1 once Setup (or the uninstaller) has ended a running tray program
Var OwnComponents    ; 1: the project's component libraries are installed; 0: the maker's are used
Var OldDir           ; the folder of the install already registered, if any
Var OldStartMenu     ; its Start-menu folder
Var HaveRecord       ; 1 when that install recorded its files
Var ForeignList      ; files of others in the install folder under names Setup uses
Var LockedFile       ; the first file found in use
Var Dir              ; scratch: a folder
Var Item             ; scratch: a file name
Var Answer           ; scratch
Var Index            ; scratch

!define MUI_ABORTWARNING
!define MUI_ICON "${SRC_DIR}/tray/res/Corvane.ico"
!define MUI_UNICON "${SRC_DIR}/tray/res/Corvane.ico"
!define MUI_WELCOMEPAGE_TEXT "This will install the Tessory PPPoE client on this computer: the Tessory tray program, which prepares the PPPoE components at every log-on, and the Tessory Dialer, which connects you to your provider.$\r$\n$\r$\nIf the tray program is running, Setup ends it before replacing its files and starts it again afterwards.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Corvane.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start the Tessory tray program now"

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

; The files Setup installs into the install folder, the component libraries apart: calls
; macro M with each name.
!macro TZ_FILES M
  !insertmacro ${M} "Corvane.exe"
  !insertmacro ${M} "TzDialer.exe"
  !insertmacro ${M} "signin_zn.bmp"
  !insertmacro ${M} "connect.wav"
  ; The help file and its contents file, when the build made them.
  !if /FileExists "${BIN_DIR}/ZnSetup.hlp"
    !insertmacro ${M} "ZnSetup.hlp"
  !endif
  !if /FileExists "${BIN_DIR}/ZnSetup.cnt"
    !insertmacro ${M} "ZnSetup.cnt"
  !endif
  !insertmacro ${M} "Uninstall.exe"
!macroend
!macro TZ_COMPONENTS M
  !insertmacro ${M} "TzOSControl.dll"
  !insertmacro ${M} "TzSetupUtils.dll"
!macroend

; Ends a running tray program the way its own menu does (Shutdown: the frame closes, the
; components are unloaded, the instance lock released) and waits until its files are free.
; A tray program of another user's session is not seen here: the check for files in use
; finds its files.
!macro DEFINE_TRAY un
Function ${un}StopTray
  FindWindow $0 "${TRAY_FRAME_CLASS}" "${TRAY_FRAME_TITLE}"
  ${If} $0 == 0
    Return
  ${EndIf}
  StrCpy $TrayWasRunning 1
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
  ; file be written: wait for that in the install folder and, when Setup moves the install, in
  ; the earlier one. Whatever still holds it then, the check for files in use reports.
  StrCpy $1 0
  ${Do}
    StrCpy $3 0
    ${If} ${FileExists} "$INSTDIR\Corvane.exe"
      ClearErrors
      FileOpen $2 "$INSTDIR\Corvane.exe" a
      ${If} ${Errors}
        StrCpy $3 1
      ${Else}
        FileClose $2
      ${EndIf}
    ${EndIf}
    ${If} $OldDir != ""
    ${AndIf} ${FileExists} "$OldDir\Corvane.exe"
      ClearErrors
      FileOpen $2 "$OldDir\Corvane.exe" a
      ${If} ${Errors}
        StrCpy $3 1
      ${Else}
        FileClose $2
      ${EndIf}
    ${EndIf}
    ${If} $3 == 0
      ${Break}
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 > 100
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
FunctionEnd

; Starts the tray program again when this run ended it and then changed nothing.
Function ${un}RestoreTray
  ${If} $TrayWasRunning == 1
  ${AndIf} ${FileExists} "$INSTDIR\Corvane.exe"
    Exec '"$INSTDIR\Corvane.exe"'
  ${EndIf}
FunctionEnd

; $Dir\$Item in use (open for writing refused)? Remembers the first such file in $LockedFile.
Function ${un}CheckInUse
  ${If} $LockedFile != ""
    Return
  ${EndIf}
  ${IfNot} ${FileExists} "$Dir\$Item"
    Return
  ${EndIf}
  ClearErrors
  FileOpen $0 "$Dir\$Item" a
  ${If} ${Errors}
    StrCpy $LockedFile "$Dir\$Item"
  ${Else}
    FileClose $0
  ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_TRAY ""
!insertmacro DEFINE_TRAY "un."

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
  ; The key too, when the check made it: a refusal later on leaves nothing behind.
  DeleteRegKey /ifempty HKLM "${UNINST_KEY}"
!macroend

Function .onInit
  StrCpy $TrayWasRunning 0
  ; The dialer imports the Remote Access Service: without Dial-Up Networking (Windows 95/98)
  ; or RAS (Windows NT 4) Windows refuses to start it.
  ${IfNot} ${FileExists} "$SYSDIR\rasapi32.dll"
    MessageBox MB_OK|MB_ICONSTOP "Dial-Up Networking is not installed on this computer. The Tessory Dialer needs it to connect.$\r$\n$\r$\nWindows 95 and 98: open Control Panel, Add/Remove Programs, Windows Setup, Communications, and tick Dial-Up Networking.$\r$\n$\r$\nWindows NT 4: open Control Panel, Network, Services, click Add and choose Remote Access Service.$\r$\n$\r$\nThen run Tessory Setup again. Nothing has been changed." /SD IDOK
    SetErrorLevel 1157
    Quit
  ${EndIf}
  !insertmacro CHECK_ADMIN

  ; An install already there: where, which version, what it recorded.
  ReadRegStr $OldDir HKLM "${UNINST_KEY}" "InstallLocation"
  ReadRegStr $OldStartMenu HKLM "${UNINST_KEY}" "StartMenuFolder"
  ReadRegStr $0 HKLM "${UNINST_KEY}" "DisplayVersion"
  StrCpy $HaveRecord 0
  ClearErrors
  EnumRegValue $1 HKLM "${FILES_KEY}" 0
  ${IfNot} ${Errors}
  ${AndIf} $1 != ""
    StrCpy $HaveRecord 1
  ${EndIf}
  ${If} $OldDir != ""
  ${AndIfNot} ${FileExists} "$OldDir\*.*"
    StrCpy $OldDir ""   ; an entry whose folder is gone
  ${EndIf}
  ${If} $0 != ""
    ${VersionCompare} $0 "${VERSION}" $1
    ${GetParameters} $2
    ClearErrors
    ${GetOptions} $2 "/ALLOWDOWNGRADE" $3
    ${If} $1 == 1
    ${AndIf} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "A newer version of Tessory ($0) is already installed on this computer. This Setup holds the older version ${VERSION}.$\r$\n$\r$\nNothing has been changed." /SD IDOK
      SetErrorLevel 1638
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; $Item in the install folder: one of Setup's own? Yes when the install registered there
; recorded it (or predates the record), or when it carries the project's version resource.
; -> $Answer 1 or 0
Function IsOwnFile
  StrCpy $Answer 0
  ${If} $OldDir == $INSTDIR
    ${If} $HaveRecord == 0
      StrCpy $Answer 1
      Return
    ${EndIf}
    ReadRegStr $0 HKLM "${FILES_KEY}" $Item
    ${If} $0 == "1"
      StrCpy $Answer 1
      Return
    ${EndIf}
  ${EndIf}
  Push "$INSTDIR\$Item"
  Call IsTessoryFile
  Pop $Answer
FunctionEnd

!macro TZ_FOREIGN NAME
  StrCpy $Item "${NAME}"
  ${If} ${FileExists} "$INSTDIR\$Item"
    Call IsOwnFile
    ${If} $Answer == 0
      StrCpy $ForeignList "$ForeignList$\r$\n      $Item"
    ${EndIf}
  ${EndIf}
!macroend
Function FindForeignFiles
  StrCpy $ForeignList ""
  !insertmacro TZ_FILES TZ_FOREIGN
FunctionEnd

; The component libraries: the project's own only where the maker's are not present, that is
; neither in the system folder (where the tray program finds them once no copy lies beside
; it) nor, without the project's version resource, in the install folder.
!macro TZ_MAKERS NAME
  ${If} ${FileExists} "$SYSDIR\${NAME}"
    StrCpy $OwnComponents 0
  ${EndIf}
  StrCpy $Item "${NAME}"
  ${If} ${FileExists} "$INSTDIR\$Item"
    Call IsOwnFile
    ${If} $Answer == 0
      StrCpy $OwnComponents 0
    ${EndIf}
  ${EndIf}
!macroend
Function ChooseComponents
  StrCpy $OwnComponents 1
  !insertmacro TZ_COMPONENTS TZ_MAKERS
FunctionEnd

!macro TZ_IN_USE NAME
  StrCpy $Item "${NAME}"
  Call CheckInUse
!macroend
!macro TZ_OWN_IN_USE NAME
  StrCpy $Item "${NAME}"
  ${If} ${FileExists} "$Dir\$Item"
    Call IsOwnFile
    ${If} $Answer == 1
      Call CheckInUse
    ${EndIf}
  ${EndIf}
!macroend
; Every file that this run will replace or remove must be free; asks until it is, or ends
; Setup with nothing changed.
Function CheckFilesFree
  ${Do}
    StrCpy $LockedFile ""
    StrCpy $Dir $INSTDIR
    !insertmacro TZ_FILES TZ_IN_USE
    !insertmacro TZ_COMPONENTS TZ_OWN_IN_USE
    ${If} $OldDir != ""
    ${AndIf} $OldDir != $INSTDIR
      StrCpy $Dir $OldDir
      !insertmacro TZ_FILES TZ_IN_USE
      !insertmacro TZ_COMPONENTS TZ_IN_USE
    ${EndIf}
    ${If} $LockedFile == ""
      Return
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Tessory cannot be set up while this file is in use:$\r$\n$\r$\n$LockedFile$\r$\n$\r$\nPlease close the Tessory Dialer and the Tessory help. If someone else is logged on to this computer, ask them to end the Tessory tray program. Then click Retry." /SD IDCANCEL IDRETRY retry
    Call RestoreTray
    SetErrorLevel 32
    Quit
  retry:
    Call StopTray
  ${Loop}
FunctionEnd

; Interactive: same-named files of another program in the chosen folder are replaced only
; when the user says so. (Silent: the section refuses them.)
Function DirectoryLeave
  Call FindForeignFiles
  ${If} $ForeignList != ""
    MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "This folder already holds files of another program, with names that Tessory uses:$\r$\n$ForeignList$\r$\n$\r$\nReplace them with Tessory's files? Click No to choose another folder." IDYES +2
    Abort
  ${EndIf}
FunctionEnd

; A tray program that Setup started again needs no start from the last page.
Function FinishShow
  ${If} $TrayWasRunning == 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} 0 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
FunctionEnd

; The install in another folder goes completely, by its own uninstaller, run in place and
; waited for (_?=); its uninstaller file is removed afterwards.
Function RemoveOldCopy
  ${If} ${FileExists} "$OldDir\Uninstall.exe"
    DetailPrint "Removing the earlier installation in $OldDir"
    ClearErrors
    ExecWait '"$OldDir\Uninstall.exe" /S _?=$OldDir' $0
    ${If} $0 == 3010
      SetRebootFlag true
    ${EndIf}
    Delete /REBOOTOK "$OldDir\Uninstall.exe"
  ${EndIf}
  RMDir "$OldDir"
  ${If} "$OldDir" == "$PROGRAMFILES\Velmora\Tessory"
    RMDir "$PROGRAMFILES\Velmora"
  ${EndIf}
FunctionEnd

; Puts a new file (already unpacked as NAME.tz~) in place of the old one; a file still in use
; is replaced when Windows restarts.
!macro TZ_PUT NAME
  Delete "$INSTDIR\${NAME}"
  Rename /REBOOTOK "$INSTDIR\${NAME}${NEW_SUFFIX}" "$INSTDIR\${NAME}"
  WriteRegStr HKLM "${FILES_KEY}" "${NAME}" "1"
!macroend
; The project's own component library that a maker's library makes superfluous (it would
; shadow the maker's in the system folder).
!macro TZ_DROP_OWN NAME
  StrCpy $Item "${NAME}"
  ${If} ${FileExists} "$INSTDIR\$Item"
    Call IsOwnFile
    ${If} $Answer == 1
      Delete /REBOOTOK "$INSTDIR\$Item"
    ${EndIf}
  ${EndIf}
!macroend

Section "Tessory" SecMain
  SectionIn RO
  SetOverwrite on

  ; Checks, before anything changes.
  ${If} ${Silent}
    Call FindForeignFiles
    ${If} $ForeignList != ""
      SetErrorLevel 80
      Quit
    ${EndIf}
  ${EndIf}
  Call ChooseComponents
  Call StopTray
  Call CheckFilesFree

  ${If} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
    Call RemoveOldCopy
  ${EndIf}

  ; Everything new is unpacked beside the old files first, so that a failure (a full disk)
  ; stops Setup before any of them is replaced.
  SetOutPath "$INSTDIR"
  File "/oname=Corvane.exe${NEW_SUFFIX}" "${BIN_DIR}/Corvane.exe"
  File "/oname=TzDialer.exe${NEW_SUFFIX}" "${BIN_DIR}/TzDialer.exe"
  File "/oname=signin_zn.bmp${NEW_SUFFIX}" "${SRC_DIR}/dialer/res/signin_zn.bmp"
  File "/oname=connect.wav${NEW_SUFFIX}" "${SRC_DIR}/installer/connect.wav"
  !if /FileExists "${BIN_DIR}/ZnSetup.hlp"
    File "/oname=ZnSetup.hlp${NEW_SUFFIX}" "${BIN_DIR}/ZnSetup.hlp"
  !endif
  !if /FileExists "${BIN_DIR}/ZnSetup.cnt"
    File "/oname=ZnSetup.cnt${NEW_SUFFIX}" "${BIN_DIR}/ZnSetup.cnt"
  !endif
  ${If} $OwnComponents == 1
    File "/oname=TzOSControl.dll${NEW_SUFFIX}" "${BIN_DIR}/TzOSControl.dll"
    File "/oname=TzSetupUtils.dll${NEW_SUFFIX}" "${BIN_DIR}/TzSetupUtils.dll"
  ${EndIf}
  WriteUninstaller "$INSTDIR\Uninstall.exe${NEW_SUFFIX}"

  ; Then into place, each recorded as Setup's.
  DeleteRegKey HKLM "${FILES_KEY}"
  !insertmacro TZ_FILES TZ_PUT
  ${If} $OwnComponents == 1
    !insertmacro TZ_COMPONENTS TZ_PUT
  ${Else}
    DetailPrint "The adapter maker's component libraries are present: Tessory's own are not installed"
    !insertmacro TZ_COMPONENTS TZ_DROP_OWN
  ${EndIf}
  WriteRegStr HKLM "${UNINST_KEY}" "OwnComponents" $OwnComponents

  ; What the programs read and nobody else writes.
  WriteRegStr HKLM "${TRAY_KEY}" "ShowSysTrayIcon" "Yes"
  WriteRegStr HKLM "${APP_KEY}" "BuildInfo" "${VERSION}"
  WriteRegStr HKLM "${APP_KEY}" "SoundFile" "$INSTDIR\connect.wav"

  ; The tray program at every log-on.
  WriteRegStr HKLM "${RUN_KEY}" "Tessory" '"$INSTDIR\Corvane.exe"'

  ; Start menu, for all users where there are several. Windows 95/98 with user profiles have
  ; no common Start menu: there NSIS gives the current user's, so the folder actually used is
  ; recorded for the uninstaller, and an earlier install's shortcuts elsewhere go. The
  ; shortcut's working folder is the current output folder: the dialer finds its picture there.
  SetShellVarContext all
  ${If} $OldStartMenu != ""
  ${AndIf} $OldStartMenu != "$SMPROGRAMS\Tessory"
    Delete "$OldStartMenu\Tessory Dialer.lnk"
    Delete "$OldStartMenu\Uninstall Tessory.lnk"
    RMDir "$OldStartMenu"
  ${EndIf}
  CreateDirectory "$SMPROGRAMS\Tessory"
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\Tessory\Tessory Dialer.lnk" "$INSTDIR\TzDialer.exe" "" "$INSTDIR\TzDialer.exe" 0
  CreateShortCut "$SMPROGRAMS\Tessory\Uninstall Tessory.lnk" "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "StartMenuFolder" "$SMPROGRAMS\Tessory"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Velmora Tessory ${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Corvane.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  ${If} ${RebootFlag}
    ; Old and new files stay mixed until the restart: the tray program waits for it (the
    ; Run value starts it then). The last page offers the restart.
    DetailPrint "Some files are in use: Windows replaces them at the next restart"
    SetErrorLevel 3010
  ${ElseIf} $TrayWasRunning == 1
    Exec '"$INSTDIR\Corvane.exe"'
  ${EndIf}
SectionEnd

; ---- Uninstaller -------------------------------------------------------------------------------

Var Registered   ; 1 when the Add/Remove entry is this install's (not one in another folder)

Function un.onInit
  StrCpy $TrayWasRunning 0
  !insertmacro CHECK_ADMIN
FunctionEnd

; Calls un.ForRecorded's function (in $Answer: "check" or "delete") for every file recorded
; at install time in this folder, the uninstaller itself apart.
!macro TZ_UN_LEGACY NAME
  StrCpy $Item "${NAME}"
  Call un.HandleFile
!macroend
Function un.ForRecorded
  ${If} $Registered == 1
    StrCpy $Index 0
    ${Do}
      ClearErrors
      EnumRegValue $Item HKLM "${FILES_KEY}" $Index
      ${If} ${Errors}
      ${OrIf} $Item == ""
        ${Break}
      ${EndIf}
      IntOp $Index $Index + 1
      ReadRegStr $0 HKLM "${FILES_KEY}" $Item
      ${If} $0 == "1"
        Call un.HandleFile
      ${EndIf}
    ${Loop}
    ${If} $Index > 0
      Return
    ${EndIf}
  ${EndIf}
  ; No record (an install of an older Setup, or an orphan folder): the names Setup uses.
  !insertmacro TZ_FILES TZ_UN_LEGACY
  !insertmacro TZ_COMPONENTS TZ_UN_LEGACY
FunctionEnd
Function un.HandleFile
  ${If} $Item == "Uninstall.exe"
    Return
  ${EndIf}
  ${If} $Answer == "check"
    Call un.CheckInUse
  ${Else}
    Delete /REBOOTOK "$INSTDIR\$Item"
    ; WinHelp's index files for the help file, made beside it on first use.
    ${If} $Item == "ZnSetup.hlp"
      Delete "$INSTDIR\ZnSetup.gid"
      Delete "$INSTDIR\ZnSetup.fts"
      Delete "$INSTDIR\ZnSetup.ftg"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Removes exactly what Setup installed and wrote. What the programs and the user made stays, so
; that a later install finds it: the service name (SOFTWARE\Velmora\Corvane\PoE), the Windows
; NT 4 adjustment flag, the phonebook entry with its stored credentials, the per-user profiles;
; so does whatever else lies in the install folder.
Section "Uninstall"
  ; The Add/Remove entry and the values are this install's only when they name this folder: an
  ; older copy left elsewhere must not remove a newer install's registration.
  StrCpy $Registered 0
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $Registered 1
  ${EndIf}

  Call un.StopTray
  ; Every file must be free before the first goes.
  ${Do}
    StrCpy $LockedFile ""
    StrCpy $Dir $INSTDIR
    StrCpy $Answer "check"
    Call un.ForRecorded
    ${If} $LockedFile == ""
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Tessory cannot be removed while this file is in use:$\r$\n$\r$\n$LockedFile$\r$\n$\r$\nPlease close the Tessory Dialer and the Tessory help. If someone else is logged on to this computer, ask them to end the Tessory tray program. Then click Retry." /SD IDCANCEL IDRETRY +4
    Call un.RestoreTray
    SetErrorLevel 32
    Quit
    Call un.StopTray
  ${Loop}

  StrCpy $Answer "delete"
  Call un.ForRecorded
  Delete "$WINDIR\Tessory_Runtime.txt"

  ${If} $Registered == 1
    ReadRegStr $Dir HKLM "${UNINST_KEY}" "StartMenuFolder"
    ${If} $Dir == ""
      SetShellVarContext all
      StrCpy $Dir "$SMPROGRAMS\Tessory"
    ${EndIf}
    Delete "$Dir\Tessory Dialer.lnk"
    Delete "$Dir\Uninstall Tessory.lnk"
    RMDir "$Dir"

    DeleteRegValue HKLM "${RUN_KEY}" "Tessory"
    DeleteRegValue HKLM "${TRAY_KEY}" "ShowSysTrayIcon"
    DeleteRegKey /ifempty HKLM "${TRAY_KEY}"
    DeleteRegKey /ifempty HKLM "SOFTWARE\Velmora\Tessory"
    DeleteRegValue HKLM "${APP_KEY}" "BuildInfo"
    DeleteRegValue HKLM "${APP_KEY}" "SoundFile"
    DeleteRegKey /ifempty HKLM "${APP_KEY}"
    ; The component libraries' state key is theirs: it goes only with Setup's own libraries,
    ; never with the maker's (an older Setup recorded nothing and always installed its own).
    ReadRegStr $0 HKLM "${UNINST_KEY}" "OwnComponents"
    ${If} $0 != "0"
      DeleteRegKey HKLM "${STATE_KEY}"
    ${EndIf}
    DeleteRegKey /ifempty HKLM "SOFTWARE\Velmora"
  ${EndIf}

  ${If} ${RebootFlag}
    ; The entry and the uninstaller stay until the files are gone: after the restart the
    ; uninstaller runs once more at log-on and finishes.
    ${If} $Registered == 1
      WriteRegStr HKLM "${RUNONCE_KEY}" "Tessory" '"$INSTDIR\Uninstall.exe" /S'
    ${EndIf}
    SetErrorLevel 3010
  ${Else}
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    ; The maker's folder too, when Setup made it and nothing else is in it.
    ${If} "$INSTDIR" == "$PROGRAMFILES\Velmora\Tessory"
      RMDir "$PROGRAMFILES\Velmora"
    ${EndIf}
    ${If} $Registered == 1
      DeleteRegKey HKLM "${UNINST_KEY}"
    ${EndIf}
  ${EndIf}
SectionEnd
