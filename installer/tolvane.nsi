; Tolvane's setup: a per-user install with no elevation, into the user's programs folder,
; with a Start-menu shortcut and an entry in Settings -> Apps. cmake/setup.cmake builds it:
;   makensis -DVERSION=1.4.0 -DEXE=tolvane.exe -DLICENSE=LICENSE -DNOTICES=THIRD-PARTY-NOTICES.txt
;            -DICON=tolvane.ico -DOUTFILE=tolvane-1.4.0-win64-setup.exe tolvane.nsi
; Exit codes, for package managers (the README lists them too); 1, cancelled, is NSIS's own.
!define EXIT_CANNOT_WRITE 2
!define EXIT_IN_USE 3
!define EXIT_BUSY 4
!define EXIT_OLD_WINDOWS 5

Unicode true
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma
; makensis warns of any output named "setup": that is the name users look for.
!pragma warning disable 9000

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
!define RUN_VALUE "TolvaneIcon"
!define PUBLISHER "The Tolvane developers"

Name "Tolvane"
Caption "Tolvane ${VERSION} Setup"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tolvane"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Tolvane ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Tolvane"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Tolvane ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT License, ${PUBLISHER}"

!include LogicLib.nsh
!include MUI2.nsh
!include WinVer.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

; The MIT licence asks nothing of a user, so there is nothing to agree to.
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Tolvane is free software under this licence. Click Next to continue."
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\tolvane.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Tolvane now"
; Windows 11 puts a new icon out of sight, so a first start looks as if nothing happened.
!define MUI_FINISHPAGE_TEXT "$(^NameDA) has been installed on your computer.$\r$\n$\r$\nOn Windows 11 its icon may be \
hidden behind the ^ beside the clock: to keep it shown, turn Tolvane on in Settings > Personalization > Taskbar > \
Other system tray icons."
!define MUI_FINISHPAGE_TEXT_LARGE ; room for that beside the checkbox
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var OldDir ; where an earlier version is installed, if anywhere
Var Closed ; how many running copies were closed
Var InUse ; the exe of a copy that would not close

!macro Fail code message
  MessageBox MB_ICONSTOP "${message}" /SD IDOK
  SetErrorLevel ${code}
  Quit
!macroend

; One setup or uninstall at a time: the second would find half-written files.
!macro ClaimSetupMutex
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "TolvaneSetup") p .r0 ?e'
  Pop $0
  ${If} $0 = 183 ; ERROR_ALREADY_EXISTS
    !insertmacro Fail ${EXIT_BUSY} "Another Tolvane setup is running. Finish it first."
  ${EndIf}
!macroend

; Runs INSTRUCTION, on FILE, again while it fails because another program holds the file:
; antivirus, the search indexer and Explorer's thumbnails read a file for a moment as it is
; written or as a program ends, without sharing its deletion. After about 5 s the error flag
; stays set, as after a single try.
!macro Retrying file instruction
  StrCpy $R9 "" ; no try failed yet
  ${Do}
    ClearErrors
    ${instruction}
    ${IfNot} ${Errors} ; which clears the flag
      ${ExitDo}
    ${EndIf}
    StrCpy $R8 "${file}"
    !ifdef __UNINSTALL__
      Call un.WaitWhileHeld
    !else
      Call WaitWhileHeld
    !endif
  ${LoopWhile} $R9 > 0
  ${IfThen} $R9 == 0 ${|} SetErrors ${|}
!macroend

; The functions both setup and the uninstaller use.
!macro DefineShared un
; Closes the copies started from folder $0: each gets WM_CLOSE on its hidden window, as from
; Exit or the task list, and up to 10 s to end. Copies started from anywhere else are left
; alone. On return $Closed counts them, and $InUse names the exe of a copy that did not end.
Function ${un}CloseCopies
  StrCpy $R5 "$0\tolvane.exe"
  Call ${un}FinalPath
  StrCpy $R8 $R5
  ${If} $R8 == ""
    Return ; nothing there, so nothing runs from there
  ${EndIf}
  StrCpy $R0 0 ; FindWindow goes on after this window
  ${Do}
    FindWindow $R0 "TolvaneClass" "" 0 $R0
    ${If} $R0 = 0
      ${ExitDo}
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x00101000, i 0, i R1) p .R2'
    StrCpy $R3 ""
    System::Call 'kernel32::QueryFullProcessImageNameW(p R2, i 0, w .R3, *i ${NSIS_MAX_STRLEN})'
    StrCpy $R5 $R3
    Call ${un}FinalPath
    ${If} $R5 == $R8
      ; Windows' message filter refuses the post to a copy run elevated by an older version.
      System::Call 'user32::PostMessageW(p R0, i ${WM_CLOSE}, p 0, p 0) i .R4'
      ${If} $R4 <> 0
        System::Call 'kernel32::WaitForSingleObject(p R2, i 10000) i .R4'
      ${Else}
        StrCpy $R4 -1
      ${EndIf}
      ${If} $R4 = 0
        IntOp $Closed $Closed + 1
        StrCpy $R0 0 ; the list changed: from the top again
      ${Else}
        StrCpy $InUse $R3
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R2)'
  ${LoopUntil} $InUse != ""
FunctionEnd

; $R5 = the file at path $R5 as Windows names it, or "" when there is none. A process's image
; path comes back in the form it was started by: an 8.3 short name, or the drive behind a
; subst. The file's final path is the same whichever way it was reached.
Function ${un}FinalPath
  ; No access asked, any sharing: a running exe can still be opened so.
  System::Call 'kernel32::CreateFileW(w R5, i 0, i 7, p 0, i 3, i 0, p 0) p .R6'
  StrCpy $R5 ""
  ${If} $R6 != -1
    System::Call 'kernel32::GetFinalPathNameByHandleW(p R6, w .R5, i ${NSIS_MAX_STRLEN}, i 0)'
    System::Call 'kernel32::CloseHandle(p R6)'
  ${EndIf}
FunctionEnd

; Starts again, from folder $0, the copy that CloseCopies closed: one, even when it closed two,
; since a second copy only adds a second, identical icon.
Function ${un}RestartClosed
  ${If} $Closed > 0
    Exec '"$0\tolvane.exe"'
  ${EndIf}
FunctionEnd

; For Retrying, after its instruction failed on file $R8: $R9 = the tries left. When another
; program holds the file, 50 more, a tenth of a second apart; else one more (it may have let go
; just now). An open for deletion fails with 32 (sharing violation) while a holder does not
; share it, or 5 (access denied) while the file is being deleted.
Function ${un}WaitWhileHeld
  ${If} $R9 == ""
    StrCpy $R9 1
    ; DELETE, any sharing, an existing file
    System::Call 'kernel32::CreateFileW(w R8, i 0x10000, i 7, p 0, i 3, i 0, p 0) p .R7 ?e'
    Pop $R6
    ${If} $R6 = 32
    ${OrIf} $R6 = 5
      StrCpy $R9 50
    ${EndIf}
    ${If} $R7 != -1
      System::Call 'kernel32::CloseHandle(p R7)'
    ${EndIf}
  ${Else}
    IntOp $R9 $R9 - 1
  ${EndIf}
  ${IfThen} $R9 > 0 ${|} Sleep 100 ${|}
FunctionEnd
!macroend
!insertmacro DefineShared ""
!insertmacro DefineShared "un."

; $0 = the command line's /D= folder, or "" without one. The installer drops /D= from $CMDLINE
; and, for a folder it cannot use, quietly installs to the default one instead. A quoted
; "/D=..." it ignores altogether; kept here with its quote, it can match no folder.
Function GetRequestedFolder
  System::Call 'kernel32::GetCommandLineW() w .R0'
  StrLen $R1 $R0
  StrCpy $0 ""
  ${Do}
    IntOp $R1 $R1 - 1
    ${If} $R1 < 0
      ${ExitDo}
    ${EndIf}
    StrCpy $R2 $R0 4 $R1
    ${If} $R2 S== " /D="
    ${OrIf} $R2 S== '"/D='
      IntOp $R1 $R1 + 4
      StrCpy $0 $R0 "" $R1
      ; As the installer cleans $INSTDIR: no trailing backslashes or spaces.
      ${DoWhile} $0 != ""
        StrCpy $R2 $0 1 -1
        ${IfNot} $R2 == "\"
        ${AndIfNot} $R2 == " "
          ${ExitDo}
        ${EndIf}
        StrCpy $0 $0 -1
      ${Loop}
      ${ExitDo}
    ${EndIf}
  ${Loop}
FunctionEnd

Function .onInit
  ${IfNot} ${AtLeastWin10}
    !insertmacro Fail ${EXIT_OLD_WINDOWS} "Tolvane needs Windows 10 or later."
  ${EndIf}
  !insertmacro ClaimSetupMutex
  Call GetRequestedFolder
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    !insertmacro Fail ${EXIT_CANNOT_WRITE} "Tolvane cannot be installed in $0."
  ${EndIf}
  ReadRegStr $OldDir HKCU "${UNINSTALL_KEY}" "InstallLocation"
FunctionEnd

Section
  StrCpy $0 $INSTDIR
  Call CloseCopies
  ${If} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
  ${AndIf} $InUse == ""
    StrCpy $0 $OldDir
    Call CloseCopies
  ${EndIf}
  ${If} $InUse != ""
    Call RestartClosed
    !insertmacro Fail ${EXIT_IN_USE} "$InUse is in use and would not close. Close it, then try again."
  ${EndIf}

  ; "try" sets the error flag instead of asking Abort, Retry or Ignore.
  SetOverwrite try
  SetOutPath $INSTDIR
  !insertmacro Retrying "$INSTDIR\tolvane.exe" `File "/oname=tolvane.exe" "${EXE}"`
  ${If} ${Errors}
    StrCpy $0 $INSTDIR
    Call RestartClosed
    !insertmacro Fail ${EXIT_CANNOT_WRITE} "$INSTDIR\tolvane.exe cannot be written."
  ${EndIf}
  !insertmacro Retrying "$INSTDIR\LICENSE.txt" `File "/oname=LICENSE.txt" "${LICENSE}"`
  !insertmacro Retrying "$INSTDIR\THIRD-PARTY-NOTICES.txt" `File "/oname=THIRD-PARTY-NOTICES.txt" "${NOTICES}"`
  !insertmacro Retrying "$INSTDIR\uninstall.exe" `WriteUninstaller "$INSTDIR\uninstall.exe"`
  !insertmacro Retrying "$SMPROGRAMS\Tolvane.lnk" `CreateShortcut "$SMPROGRAMS\Tolvane.lnk" "$INSTDIR\tolvane.exe"`

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tolvane"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tolvane.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; Run in place (_?=), the uninstaller is done when it returns; started plainly, it copies
  ; itself to %TEMP%, starts the copy and returns at once, before anything is removed.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ${If} $OldDir != ""
  ${AndIf} $OldDir != $INSTDIR
    Call MoveStartAtLogon
    !insertmacro Retrying "$OldDir\tolvane.exe" `Delete "$OldDir\tolvane.exe"`
    !insertmacro Retrying "$OldDir\LICENSE.txt" `Delete "$OldDir\LICENSE.txt"`
    !insertmacro Retrying "$OldDir\THIRD-PARTY-NOTICES.txt" `Delete "$OldDir\THIRD-PARTY-NOTICES.txt"`
    !insertmacro Retrying "$OldDir\uninstall.exe" `Delete "$OldDir\uninstall.exe"`
    RMDir "$OldDir"
  ${EndIf}
  ; The finish page offers to start it; a silent upgrade puts back what it closed.
  ${If} ${Silent}
    StrCpy $0 $INSTDIR
    Call RestartClosed
  ${EndIf}
SectionEnd

; A Run value that started the copy in the old folder starts the new one; its Startup apps
; switch, kept apart by the value's name, stays as the user set it.
Function MoveStartAtLogon
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$OldDir\tolvane.exe"'
  ${OrIf} $0 == "$OldDir\tolvane.exe"
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\tolvane.exe"'
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro ClaimSetupMutex
FunctionEnd

Section Uninstall
  StrCpy $0 $INSTDIR
  Call un.CloseCopies
  ${If} $InUse != ""
    Call un.RestartClosed
    !insertmacro Fail ${EXIT_IN_USE} "$InUse is in use and would not close. Close it, then try again."
  ${EndIf}
  !insertmacro Retrying "$INSTDIR\tolvane.exe" `Delete "$INSTDIR\tolvane.exe"`
  ${If} ${FileExists} "$INSTDIR\tolvane.exe"
    Call un.RestartClosed
    !insertmacro Fail ${EXIT_CANNOT_WRITE} "$INSTDIR\tolvane.exe cannot be removed."
  ${EndIf}
  !insertmacro Retrying "$INSTDIR\LICENSE.txt" `Delete "$INSTDIR\LICENSE.txt"`
  !insertmacro Retrying "$INSTDIR\THIRD-PARTY-NOTICES.txt" `Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"`
  !insertmacro Retrying "$SMPROGRAMS\Tolvane.lnk" `Delete "$SMPROGRAMS\Tolvane.lnk"`
  ; A value that starts a portable copy elsewhere belongs to that copy.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 == '"$INSTDIR\tolvane.exe"'
  ${OrIf} $0 == "$INSTDIR\tolvane.exe"
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    DeleteRegValue HKCU "${APPROVED_KEY}" "${RUN_VALUE}"
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; Not retried: run in place, it is this program's own file, which only a move can clear.
  Delete "$INSTDIR\uninstall.exe"
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    Call un.MoveSelfOut
  ${EndIf}
  SetOutPath $TEMP ; a process's current folder cannot be removed
  RMDir "$INSTDIR"
SectionEnd

; Run in place (_?=), the uninstaller cannot delete its own file, but Windows lets a running
; program's file be moved within its volume: to %TEMP%, under one name that the next uninstall
; clears. Where the move fails (%TEMP% on another volume), the file and the folder stay.
; NSIS 3.08 reads its file through a handle shared for reading only, which forbids the move,
; so that handle is closed first; but NSIS keeps its value (g_db_hFile, in fileform.c). It reads
; through it whenever it needs data not unpacked yet: the solid archive is unpacked to a
; temporary file only as far as asked for (__ensuredata, ReadSelfFile), a plug-in at its first
; call (System, in un.onInit; later calls skip it). After the sections and onUninstSuccess,
; ui_doinstall returns and CleanUp closes the value again (Main.c 420, 429, 474), before it
; unloads the plug-ins (486) and the process exits (467). A freed value goes to the next handle
; opened (under Wine, the lowest free one): here the current folder's, which SetOutPath $TEMP
; opens, so that CleanUp closed it. So the value goes at once to a handle of this same file,
; sharing its move: handles are opened until one has it, and all are kept to the end.
Function un.MoveSelfOut
  StrCpy $R5 "$INSTDIR\uninstall.exe"
  Call un.FinalPath
  ${ForEach} $R1 4 4096 + 4 ; handle values are multiples of 4
    System::Call 'kernel32::GetFileType(p R1) i .R2'
    ${If} $R2 = 1 ; a disk file, whose name can be asked without blocking
      System::Call 'kernel32::GetFinalPathNameByHandleW(p R1, w .R3, i ${NSIS_MAX_STRLEN}, i 0)'
      ${If} $R3 == $R5
        System::Call 'kernel32::CloseHandle(p R1)'
        ${For} $R4 1 64
          ; GENERIC_READ, shared for reading and deletion
          System::Call 'kernel32::CreateFileW(w "$INSTDIR\uninstall.exe", i 0x80000000, i 5, p 0, i 3, i 0, p 0) p .R2'
          ${IfThen} $R2 = $R1 ${|} ${ExitFor} ${|}
        ${Next}
        ${ExitFor}
      ${EndIf}
    ${EndIf}
  ${Next}
  !insertmacro Retrying "$TEMP\Tolvane-uninstall.exe" `Delete "$TEMP\Tolvane-uninstall.exe"`
  !insertmacro Retrying "$INSTDIR\uninstall.exe" `Call un.MoveUninstaller`
FunctionEnd

; The move, for Retrying: the error flag set when it fails.
Function un.MoveUninstaller
  System::Call 'kernel32::MoveFileExW(w "$INSTDIR\uninstall.exe", w "$TEMP\Tolvane-uninstall.exe", i 0) i .R0'
  ${IfThen} $R0 = 0 ${|} SetErrors ${|}
FunctionEnd
