; The Windows installer of Pagewash (scripts/installer-windows.sh builds it with makensis):
; pagewash.exe and pagewash-cli.exe with the licence texts, a Start-menu entry "Pagewash", an uninstaller
; registered in "Apps & features", and on request pagewash-cli's folder on the PATH.
;
; For the current user by default, without administrator rights (%LOCALAPPDATA%\Programs\Pagewash);
; for all users with /AllUsers, run as administrator (%ProgramFiles%\Pagewash). /AddToPath (or the
; component on the components page) puts the folder on that user's or the machine's PATH.
; Silent: /S, also for uninstall.exe. Defined by the caller: VERSION, STAGE (the files to install),
; OUTFILE.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"
!include "WinMessages.nsh"

!define PRODUCT "Pagewash"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pagewash"
!define USER_ENVIRONMENT "Environment"
!define MACHINE_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Pagewash authors; libraries: see licenses\ALL-LICENSES.txt"

Var AllUsers  ; 1: installed for all users

!define MUI_ICON "${STAGE}\pagewash.ico"
!define MUI_UNICON "${STAGE}\pagewash.ico"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\licenses\ALL-LICENSES.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

LangString PathSection ${LANG_JAPANESE} "pagewash-cli を PATH に追加"
LangString PathSection ${LANG_ENGLISH} "Add pagewash-cli to the PATH"
LangString NeedsAdmin ${LANG_JAPANESE} "すべてのユーザー向けのインストールには管理者として実行してください。"
LangString NeedsAdmin ${LANG_ENGLISH} "Run the installer as administrator to install for all users."
LangString PathTooLong ${LANG_JAPANESE} "PATH が長すぎるため、追加しませんでした。"
LangString PathTooLong ${LANG_ENGLISH} "The PATH is too long to be changed safely; it was left as it is."

; Reads the PATH of the user or of the machine into $0.
!macro ReadPath
  ${If} $AllUsers == 1
    ReadRegStr $0 HKLM "${MACHINE_ENVIRONMENT}" "Path"
  ${Else}
    ReadRegStr $0 HKCU "${USER_ENVIRONMENT}" "Path"
  ${EndIf}
!macroend

!macro WritePath
  ${If} $AllUsers == 1
    WriteRegExpandStr HKLM "${MACHINE_ENVIRONMENT}" "Path" $0
  ${Else}
    ${If} $0 == ""
      DeleteRegValue HKCU "${USER_ENVIRONMENT}" "Path"
    ${Else}
      WriteRegExpandStr HKCU "${USER_ENVIRONMENT}" "Path" $0
    ${EndIf}
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
!macroend

Section "Pagewash" SectionProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\pagewash.exe"
  File "${STAGE}\pagewash-cli.exe"
  SetOutPath "$INSTDIR\licenses"
  File "${STAGE}\licenses\*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\pagewash.exe"

  ; "Apps & features"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pagewash.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "AllUsers" $AllUsers
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section /o "$(PathSection)" SectionPath
  !insertmacro ReadPath
  StrLen $1 $0
  ${If} $1 > 900
    MessageBox MB_ICONEXCLAMATION "$(PathTooLong)" /SD IDOK
    Return
  ${EndIf}
  ${If} $0 == ""
    StrCpy $0 "$INSTDIR"
  ${Else}
    StrCpy $0 "$0;$INSTDIR"
  ${EndIf}
  !insertmacro WritePath
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "AddedToPath" 1
SectionEnd

Function .onInit
  StrCpy $AllUsers 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
    UserInfo::GetAccountType
    Pop $R2
    ${If} $R2 != "Admin"
      MessageBox MB_ICONSTOP "$(NeedsAdmin)" /SD IDOK
      SetErrorLevel 740
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
    SetShellVarContext all
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/AddToPath" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SectionPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function un.onInit
  ; Installed for all users when the machine's uninstall entry names this folder.
  StrCpy $AllUsers 0
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $2 SHCTX "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $2 == 1
    !insertmacro ReadPath
    StrLen $1 $0
    ${If} $1 < 1000
      ; Whole entries only: between separators, also at the ends and when one follows another.
      StrCpy $0 ";$0;"
      ${un.WordReplace} "$0" ";$INSTDIR;" ";" "+" $0
      ${un.WordReplace} "$0" ";$INSTDIR;" ";" "+" $0
      StrCpy $0 $0 "" 1
      StrCpy $0 $0 -1
      !insertmacro WritePath
    ${EndIf}
  ${EndIf}
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\pagewash.exe"
  Delete "$INSTDIR\pagewash-cli.exe"
  Delete "$INSTDIR\licenses\*.txt"
  RMDir "$INSTDIR\licenses"
  ; The uninstaller runs from a copy of itself; the original may take a moment to end.
  StrCpy $3 0
  ${Do}
    Delete "$INSTDIR\uninstall.exe"
    ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
    ${OrIf} $3 >= 20
      ${ExitDo}
    ${EndIf}
    Sleep 250
    IntOp $3 $3 + 1
  ${Loop}
  RMDir "$INSTDIR"
  ; The per-user programs folder, when nothing else is in it.
  ${If} $AllUsers == 0
    RMDir "$LOCALAPPDATA\Programs"
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
