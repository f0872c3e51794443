; uninstall.exe in the install folder: refuses while Quilbo runs, else hands the
; work to the uninstaller proper, uninstall-files.exe, passing on its arguments.
; An NSIS uninstaller copies itself away and returns before any of its own code
; runs, so that no caller could learn from its exit code that it refused: this
; small program runs in place and can. Built by scripts/package:
;   makensis -NOCD -DVERSION=x.y.z -DOUTFILE=<uninstall.exe> -DICON=<quilbo.ico> uninstall.nsi
Unicode true
SetCompressor /SOLID lzma

!include FileFunc.nsh
!include LogicLib.nsh
!include "${__FILEDIR__}\running_check.nsh"

!ifndef VERSION | OUTFILE | ICON
  !error "VERSION, OUTFILE and ICON must be defined (see scripts/package)"
!endif

Name "Quilbo ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
RequestExecutionLevel admin

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Quilbo"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Quilbo ${VERSION} Uninstall"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Quilbo-FE project, MIT License"

!insertmacro WaitUntilQuilboClosesFunction ""

; Everything happens before a window would open; the exit code is the
; uninstaller's: 0 once it has started on its own (it returns before it has
; finished), or its result when asked to wait with _?=.
Function .onInit
  Call WaitUntilQuilboCloses
  ${GetParameters} $0
  ClearErrors
  ExecWait '"$EXEDIR\uninstall-files.exe" $0' $1
  ${If} ${Errors}
    MessageBox MB_ICONSTOP "Cannot start $EXEDIR\uninstall-files.exe." /SD IDOK
    SetErrorLevel 2
  ${Else}
    SetErrorLevel $1
  ${EndIf}
  Quit
FunctionEnd

Section
SectionEnd
