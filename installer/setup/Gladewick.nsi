; Gladewick.nsi - the Gladewick setup program, built by installer/setup/make-setup.sh.
;
; Defines given by the build: VERSION, X64DIR and X86DIR (the build trees of the
; x64 and the x86 programs), ICON and OUTFILE.
;
; The setup puts both plug-ins, Plugferry and the manual into one folder, writes
; the product settings in both registry views (each names the plug-in of its
; bitness) and the uninstall entry. Interactive, it ends by starting Plugferry;
; silent (/S), it copies the plug-in into every editor as Plugferry's OK would
; and reports each copy in %TEMP%\Gladewick-Setup.log, exiting with 2 when a
; copy failed. The uninstaller removes the recorded copies, then its own files
; and keys; anything else in those folders stays.

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "Gladewick Pro"
!define VENDOR "Corvane Technologies"
!define WEBSITE "https://www.gladewick.example/"
!define SETTINGS_KEY "SOFTWARE\${VENDOR}\${PRODUCT}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define START_MENU "$SMPROGRAMS\Gladewick"
!define REPORT "$TEMP\Gladewick-Setup.log"

Name "${PRODUCT} ${VERSION}"
Caption "${PRODUCT} ${VERSION} Setup"
UninstallCaption "${PRODUCT} ${VERSION} Uninstall"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Gladewick"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${VENDOR}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 ${VENDOR}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_TITLE "${PRODUCT} ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "The plug-in, Plugferry and the user manual are in $INSTDIR.$\r$\n$\r$\nPlugferry starts now and lists the image editors found: press OK there to add the filter to them."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Plugferry.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Plugferry to add the filter to your image editors"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The product settings of one registry view; Diagnostics survives an upgrade.
!macro WriteSettings VIEW PLUGIN
  SetRegView ${VIEW}
  WriteRegStr HKLM "${SETTINGS_KEY}" "Description" "${PRODUCT}"
  WriteRegStr HKLM "${SETTINGS_KEY}" "Pathname" "$INSTDIR\${PLUGIN}"
  WriteRegDWORD HKLM "${SETTINGS_KEY}" "Product Revision" 8
  ClearErrors
  ReadRegDWORD $0 HKLM "${SETTINGS_KEY}" "Diagnostics"
  ${If} ${Errors}
    WriteRegDWORD HKLM "${SETTINGS_KEY}" "Diagnostics" 0
  ${EndIf}
  WriteRegStr HKLM "${SETTINGS_KEY}" "Website" "${WEBSITE}"
!macroend

; Runs the deployment helper of this Windows' bitness: $0 = its exit code.
!macro RunDeploy COMMAND
  InitPluginsDir
  ${If} ${RunningX64}
    File "/oname=$PLUGINSDIR\gwdeploy.exe" "${X64DIR}\installer\gwdeploy.exe"
  ${Else}
    File "/oname=$PLUGINSDIR\gwdeploy.exe" "${X86DIR}\installer\gwdeploy.exe"
  ${EndIf}
  nsExec::ExecToLog '"$PLUGINSDIR\gwdeploy.exe" ${COMMAND} "${REPORT}"'
  Pop $0
!macroend

Function .onInit
  ; Installing over an existing version goes to where it is, unless /D= chose.
  SetRegView 64
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $INSTDIR == "$PROGRAMFILES64\Gladewick"
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

Section "Gladewick" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "/oname=Gladewick-x64.8bf" "${X64DIR}\plugin\Gladewick.8bf"
  File "/oname=Gladewick-x86.8bf" "${X86DIR}\plugin\Gladewick.8bf"
  File "${X64DIR}\plugin\GW-User-Manual.pdf"
  ${If} ${RunningX64}
    File "${X64DIR}\installer\Plugferry.exe"
  ${Else}
    File "${X86DIR}\installer\Plugferry.exe"
  ${EndIf}
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; Each plug-in reads the view of its own bitness; on 32-bit Windows there is one.
  ${If} ${RunningX64}
    !insertmacro WriteSettings 64 "Gladewick-x64.8bf"
    !insertmacro WriteSettings 32 "Gladewick-x86.8bf"
  ${Else}
    !insertmacro WriteSettings 32 "Gladewick-x86.8bf"
  ${EndIf}

  SetRegView 64
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${VENDOR}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Plugferry.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  SetShellVarContext all
  CreateDirectory "${START_MENU}"
  CreateShortcut "${START_MENU}\Plugferry.lnk" "$INSTDIR\Plugferry.exe"
  CreateShortcut "${START_MENU}\Gladewick User Manual.lnk" "$INSTDIR\GW-User-Manual.pdf"

  ; Silent: the copies Plugferry's OK would make, each reported in the log.
  ${If} ${Silent}
    Delete "${REPORT}"
    !insertmacro RunDeploy install
    ${If} $0 != 0
      DetailPrint "Some editors did not receive the plug-in: see ${REPORT}"
      SetErrorLevel 2
    ${EndIf}
  ${EndIf}
SectionEnd

Section "Uninstall"
  ; The copies first: the record of them lives in the product settings key.
  Delete "${REPORT}"
  !insertmacro RunDeploy remove
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "Some copies of the plug-in could not be removed; they are listed in ${REPORT}." /SD IDOK
    SetErrorLevel 2
  ${EndIf}

  Delete "$INSTDIR\Gladewick-x64.8bf"
  Delete "$INSTDIR\Gladewick-x86.8bf"
  Delete "$INSTDIR\GW-User-Manual.pdf"
  Delete "$INSTDIR\Plugferry.exe"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: what a user put there stays.
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "${START_MENU}\Plugferry.lnk"
  Delete "${START_MENU}\Gladewick User Manual.lnk"
  RMDir "${START_MENU}"

  SetRegView 64
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\${VENDOR}"
  SetRegView 32
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\${VENDOR}"
  SetRegView 64
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
