; Installer of KDX manager for Windows (NSIS 3, Unicode), for one PC; an office deploys the MSI
; package instead (kdx-manager.wxs).
;
; By default installs the program for the current user (no administrator rights needed) into
; %LOCALAPPDATA%\Programs\KDX manager: the definition tables kdx_imp.tab and kdx_exp.tab live
; beside KDXMngr.exe and the settings window writes them there, so the folder must be writable
; by the user. Associates the extension .KDX with the program for that user
; (HKCU\Software\Classes), so that opening a received transfer file starts
;   "<folder>\KDXMngr.exe" "%1"
; Started from an administrator's prompt with /ALLUSERS it installs for every user of the machine
; instead: into C:\KDX manager with the association in HKLM\Software\Classes. There a standard
; user may add files but not replace the administrator's tables: the program finds that out and
; keeps that user's tables in %APPDATA%\KDX manager, starting from those beside the program.
;
; Build (paths are those of the build machine):
;   makensis -DKDX_PROGRAM_DIR=<folder with KDXMngr.exe and what it needs> \
;            -DKDX_OUTFILE=<installer .exe> packaging/windows/installer.nsi
; KDX_PROGRAM_DIR holds KDXMngr.exe, kdxmapi32.exe (the mail hand-off helper for 32-bit mail
; clients) and translations\ (scripts/windows-build.sh gathers them); the
; Windows stage of the tests (scripts/test.d/30-wine.sh) uses the cross-built stand-in instead.
; Existing kdx_imp.tab / kdx_exp.tab in the install folder are never overwritten or removed.
;
; Silent use: Setup.exe /S [/ALLUSERS] [/D=<folder>];  uninstall.exe /S

; A 64-bit installer for the 64-bit program (Unicode, amd64 stub).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!ifndef KDX_PROGRAM_DIR
  !error "Define KDX_PROGRAM_DIR: the folder that holds KDXMngr.exe"
!endif
!ifndef KDX_OUTFILE
  !define KDX_OUTFILE "KDXManager-Setup.exe"
!endif
!ifndef KDX_VERSION
  !define KDX_VERSION "1.0"
!endif

!define KDX_NAME "KDX manager"
!define KDX_EXE "KDXMngr.exe"
!define KDX_PROGID "KDXManager.TransferFile"
!define KDX_CLASSES "Software\Classes"
!define KDX_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KDXManager"
; SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, 0, 0): Explorer picks the new icon and verb.
!define KDX_NOTIFY_ASSOC "System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "${KDX_NAME}"
OutFile "${KDX_OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${KDX_NAME}"
InstallDirRegKey HKCU "${KDX_UNINSTALL_KEY}" "InstallLocation"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Czech"

; The registry root of the association and the uninstall entry is SHCTX: HKCU for the current
; user, HKLM for all users (SetShellVarContext decides).
Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    UserInfo::GetAccountType
    Pop $R2
    ${If} $R2 != "Admin"
      MessageBox MB_ICONSTOP|MB_OK "Instalace pro všechny uživatele vyžaduje práva správce." /SD IDOK
      Abort
    ${EndIf}
    ; /D= on the command line has already set INSTDIR; keep it then. (Compared before the
    ; context changes: $LOCALAPPDATA then names the machine's folder.)
    ${If} $INSTDIR == "$LOCALAPPDATA\Programs\${KDX_NAME}"
      StrCpy $INSTDIR "C:\${KDX_NAME}"
    ${EndIf}
    SetShellVarContext all
  ${EndIf}
FunctionEnd

Function un.onInit
  ; Installed for all users when the machine-wide uninstall entry names this folder.
  ReadRegStr $R0 HKLM "${KDX_UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == $INSTDIR
    SetShellVarContext all
  ${EndIf}
FunctionEnd

Section "Program" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File /r /x "*.tab" "${KDX_PROGRAM_DIR}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The association of .KDX (HKCU or HKLM, see .onInit).
  WriteRegStr SHCTX "${KDX_CLASSES}\.KDX" "" "${KDX_PROGID}"
  WriteRegStr SHCTX "${KDX_CLASSES}\.KDX" "Content Type" "application/x-kdx-transfer"
  WriteRegStr SHCTX "${KDX_CLASSES}\${KDX_PROGID}" "" "Přenosový soubor Velkor"
  WriteRegStr SHCTX "${KDX_CLASSES}\${KDX_PROGID}\DefaultIcon" "" "$INSTDIR\${KDX_EXE},0"
  WriteRegStr SHCTX "${KDX_CLASSES}\${KDX_PROGID}\shell" "" "open"
  WriteRegStr SHCTX "${KDX_CLASSES}\${KDX_PROGID}\shell\open\command" "" '"$INSTDIR\${KDX_EXE}" "%1"'
  ${KDX_NOTIFY_ASSOC}

  ; Start menu entries: the program (send mode) and its settings ("/SET").
  CreateDirectory "$SMPROGRAMS\${KDX_NAME}"
  CreateShortcut "$SMPROGRAMS\${KDX_NAME}\${KDX_NAME}.lnk" "$INSTDIR\${KDX_EXE}"
  CreateShortcut "$SMPROGRAMS\${KDX_NAME}\Nastavení.lnk" "$INSTDIR\${KDX_EXE}" "/SET"

  WriteRegStr SHCTX "${KDX_UNINSTALL_KEY}" "DisplayName" "${KDX_NAME}"
  WriteRegStr SHCTX "${KDX_UNINSTALL_KEY}" "DisplayVersion" "${KDX_VERSION}"
  WriteRegStr SHCTX "${KDX_UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${KDX_EXE},0"
  WriteRegStr SHCTX "${KDX_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${KDX_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${KDX_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${KDX_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${KDX_UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; The association goes only while it is still ours; another program may have taken .KDX over.
  ReadRegStr $0 SHCTX "${KDX_CLASSES}\.KDX" ""
  ${If} $0 == "${KDX_PROGID}"
    DeleteRegKey SHCTX "${KDX_CLASSES}\.KDX"
  ${EndIf}
  DeleteRegKey SHCTX "${KDX_CLASSES}\${KDX_PROGID}"
  ${KDX_NOTIFY_ASSOC}

  Delete "$SMPROGRAMS\${KDX_NAME}\${KDX_NAME}.lnk"
  Delete "$SMPROGRAMS\${KDX_NAME}\Nastavení.lnk"
  RMDir "$SMPROGRAMS\${KDX_NAME}"

  ; The user's definition tables (kdx_imp.tab, kdx_exp.tab) stay, and with them the folder.
  Delete "$INSTDIR\${KDX_EXE}"
  Delete "$INSTDIR\kdxmapi32.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\imageformats"
  RMDir /r "$INSTDIR\iconengines"
  RMDir /r "$INSTDIR\translations"
  Delete "$INSTDIR\*.dll"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${KDX_UNINSTALL_KEY}"
SectionEnd
