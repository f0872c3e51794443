; Whether Quilbo runs: it holds a mutex of this name for as long as it runs
; (src/app/main.cpp). Neither the installer nor the uninstaller touches the
; program's files while it does.
!include LogicLib.nsh

!define QUILBO_RUNNING_MUTEX "Global\Quilbo-FE.Running"
!define SYNCHRONIZE 0x00100000
!define ERROR_ACCESS_DENIED 5

; Defines the function <un>WaitUntilQuilboCloses: returns once Quilbo is not
; running. While it is, asks to close it and retry, or to cancel; a cancel
; ends the program with exit code 1, a silent run (/S) at once with exit code 2.
; Either way nothing has been changed.
!macro WaitUntilQuilboClosesFunction un
Function ${un}WaitUntilQuilboCloses
  Push $0
  Push $1
  ${Do}
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${QUILBO_RUNNING_MUTEX}") p.r0 ?e'
    Pop $1
    ${If} $0 <> 0
      System::Call 'kernel32::CloseHandle(p r0)'
    ${ElseIf} $1 <> ${ERROR_ACCESS_DENIED}  ; access denied: another user's copy holds it
      ${Break}
    ${EndIf}
    ${If} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quilbo is running.$\r$\n$\r$\nClose it, then click Retry." IDRETRY retry
    SetErrorLevel 1
    Quit
    retry:
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd
!macroend
