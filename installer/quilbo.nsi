; The Windows installer: a per-machine install into the 32-bit Program Files,
; a Start-menu shortcut, an entry in the installed programs and an uninstaller.
; Neither touches the program's files while Quilbo runs.
; Built by scripts/package, which runs makensis in the staged program folder:
;   makensis -NOCD -DVERSION=x.y.z -DOUTFILE=<setup.exe> -DICON=<quilbo.ico> \
;     -DUNINSTALL_EXE=<uninstall.exe made from uninstall.nsi> quilbo.nsi
Unicode true
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include "${__FILEDIR__}\running_check.nsh"

!ifndef VERSION | OUTFILE | ICON | UNINSTALL_EXE
  !error "VERSION, OUTFILE, ICON and UNINSTALL_EXE must be defined (see scripts/package)"
!endif

!define PUBLISHER "The Quilbo-FE project"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quilbo"
; The program's own settings: the key the program's RemoveREGsettings removes,
; and its parent, removed when nothing else is left below it.
!define SETTINGS_KEY "Software\Quilbo\Brackenhollow"
!define VENDOR_KEY "Software\Quilbo"

Name "Quilbo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Quilbo"
; A second install goes where the first one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "Quilbo ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Quilbo"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Quilbo ${VERSION} Setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}, MIT License"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_TEXT "Quilbo ${VERSION} has been installed on your computer.$\r$\n$\r$\nStart it from the Start menu: Quilbo.$\r$\n$\r$\nClick Finish to close Setup."
!insertmacro MUI_PAGE_LICENSE "LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Per machine: the shortcut for all users, the registry in the 32-bit view the
; 32-bit program reads.
!macro PerMachine
  SetShellVarContext all
  SetRegView 32
!macroend

!insertmacro WaitUntilQuilboClosesFunction ""
!insertmacro WaitUntilQuilboClosesFunction "un."

Function .onInit
  !insertmacro PerMachine
  Call WaitUntilQuilboCloses
FunctionEnd

; uninstall.exe has checked already; Quilbo may have started since, and
; uninstall-files.exe may be started on its own.
Function un.onInit
  !insertmacro PerMachine
  Call un.WaitUntilQuilboCloses
FunctionEnd

; uninstall.exe hands over to this uninstaller and ends; until it has ended
; its file cannot be removed.
Function un.DeleteUninstallExe
  ${For} $0 1 50
    Delete "$INSTDIR\uninstall.exe"
    ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
      ${Break}
    ${EndIf}
    Sleep 100
  ${Next}
FunctionEnd

; The highest folder of $INSTDIR that does not exist yet ("C:\My Apps" of
; /D=C:\My Apps\Quilbo on a machine without it), or nothing: the uninstaller
; removes the folders up to it once they are empty.
Function MadeFoldersTop
  StrCpy $0 "$INSTDIR"
  StrCpy $1 ""
  ${DoUntil} ${FileExists} "$0\*.*"
    StrCpy $1 "$0"
    ${GetParent} "$0" $0
    ${IfThen} $0 == "" ${|} ${ExitDo} ${|}
  ${Loop}
  Push $1
FunctionEnd

Section "Quilbo"
  SectionIn RO
  Call MadeFoldersTop
  Pop $2
  ; An install over an earlier one keeps what that one made.
  ${If} $2 != ""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "MadeFolders" "$2"
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "Quilbo.exe"
  File "normalize.exe"
  File "README.txt"
  File "LICENSE.txt"
  File "demo.wav"
  File "/oname=uninstall.exe" "${UNINSTALL_EXE}"
  WriteUninstaller "$INSTDIR\uninstall-files.exe"
  CreateShortcut "$SMPROGRAMS\Quilbo.lnk" "$INSTDIR\Quilbo.exe"

  ; The program asks for its tool's folder only while none is stored: point it
  ; at the tool installed beside it, unless the user already chose one.
  ClearErrors
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "NormDir"
  ${If} ${Errors}
  ${AndIf} $0 == ""
    WriteRegStr HKLM "${SETTINGS_KEY}" "NormDir" "$INSTDIR\"
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quilbo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quilbo.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The folders above $INSTDIR that the install made, each once it is empty,
; from the lowest up to the highest; a folder with anything in it stops it.
Function un.RemoveMadeFolders
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "MadeFolders"
  ${IfThen} $1 == "" ${|} Return ${|}
  StrCpy $0 "$INSTDIR"
  ${DoWhile} $0 != $1
    ${un.GetParent} "$0" $0
    StrLen $2 "$1"
    StrCpy $3 "$0" $2
    ; Above the highest made folder: stop.
    ${IfThen} $3 != $1 ${|} Return ${|}
    ClearErrors
    RMDir "$0"
    ${IfThen} ${Errors} ${|} Return ${|}
  ${Loop}
FunctionEnd

; Removes exactly what the installer and the program put on the machine; a
; file the user saved in the folder keeps the folder. While a program file
; stays (a copy of Quilbo started from elsewhere holds it, say), the entry in
; the installed programs, the shortcut and the settings stay too, so that the
; uninstall can be run again.
Section "Uninstall"
  Delete "$INSTDIR\Quilbo.exe"
  Delete "$INSTDIR\normalize.exe"
  ${If} ${FileExists} "$INSTDIR\Quilbo.exe"
  ${OrIf} ${FileExists} "$INSTDIR\normalize.exe"
    SetErrorLevel 2
    MessageBox MB_ICONSTOP "Quilbo could not be removed from $INSTDIR.$\r$\n$\r$\nClose Quilbo and normalize, then uninstall again." /SD IDOK
    Abort
  ${EndIf}
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\demo.wav"
  Call un.DeleteUninstallExe
  Delete "$INSTDIR\uninstall-files.exe"
  RMDir "$INSTDIR"
  Call un.RemoveMadeFolders
  Delete "$SMPROGRAMS\Quilbo.lnk"
  ; Wine made a desktop entry in the user's applications menu for the
  ; shortcut; its menu builder removes those whose shortcut is gone.
  ${If} ${FileExists} "$SYSDIR\winemenubuilder.exe"
    ExecWait '"$SYSDIR\winemenubuilder.exe" -r'
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
SectionEnd
