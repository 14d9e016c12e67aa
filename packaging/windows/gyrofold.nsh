; What the Gyrofold installer does beyond copying the release files into
; $INSTDIR: Windows lists the screen savers it finds in its system folder, so
; the saver moves there; every account's settings get the sample picture;
; Add/Remove Programs gets its entry; and the uninstaller takes all of it
; back except the settings, which are the users'.
; Defined before this file is included: GYROFOLD_ARCH (win64 or win32),
; GYROFOLD_VERSION (as 0.9.0) and GYROFOLD_VERSION_COMMAS (as 0,9,0,0).

!include LogicLib.nsh
!include x64.nsh

; Both builds may be installed on one 64-bit Windows: their names tell their
; entries apart.
!if "${GYROFOLD_ARCH}" == "win64"
  !define GYROFOLD_DISPLAY_NAME "Quillbox Gyrofold (64-bit)"
!else
  !define GYROFOLD_DISPLAY_NAME "Quillbox Gyrofold (32-bit)"
!endif

!define GYROFOLD_SETTINGS_KEY "Software\Quillbox ScreenSavers\Whirlpan"
!define GYROFOLD_DESKTOP_KEY "Control Panel\Desktop"
; The 64-bit and the 32-bit build each keep their entry in their own
; registry view, so both can be installed and each uninstalls alone.
!define GYROFOLD_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Gyrofold"
!define GYROFOLD_ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\Quillbox.Gyrofold.${GYROFOLD_ARCH}"
; The screen saver chosen before this build made itself the screen saver,
; per user ("" when there was none).
!define GYROFOLD_USER_KEY "Software\Quillbox\Gyrofold"
!define GYROFOLD_PREVIOUS_SAVER "Previous SCRNSAVE.EXE ${GYROFOLD_ARCH}"

; The installer is a 32-bit program: for the x64 build it turns file-system
; redirection off, so $SYSDIR is the real 64-bit system folder and not
; SysWOW64; the x86 build names SysWOW64 itself (below).
!macro GyrofoldRedirection onOff
  !if "${GYROFOLD_ARCH}" == "win64"
    ${${onOff}X64FSRedirection}
  !endif
!macroend

; The saver's path as the platform starts it. A 64-bit Windows starts savers
; from a 64-bit process, which finds the x86 build only under SysWOW64. The
; path is spelt out rather than left to redirection, because a replacement
; queued for the next restart is carried out by Windows itself, with no
; redirection: "system32" would then be the 64-bit folder.
!macro GyrofoldSaverPath out
  StrCpy ${out} "$SYSDIR\gyrofold.scr"
  !if "${GYROFOLD_ARCH}" == "win32"
    ${If} ${RunningX64}
      StrCpy ${out} "$WINDIR\SysWOW64\gyrofold.scr"
    ${EndIf}
  !endif
!macroend

; Whether SCRNSAVE.EXE names this saver, by its long or short path: sets
; $R0 to the long one and $R2 to the value (empty when absent), and jumps to
; `yes` or `no`.
!macro GyrofoldNamesThisSaver yes no
  !insertmacro GyrofoldSaverPath $R0
  !insertmacro GyrofoldRedirection Disable
  GetFullPathName /SHORT $R1 $R0
  !insertmacro GyrofoldRedirection Enable
  ReadRegStr $R2 HKCU "${GYROFOLD_DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $R2 == $R0
    Goto ${yes}
  ${EndIf}
  ${If} $R1 != ""
  ${AndIf} $R2 == $R1
    Goto ${yes}
  ${EndIf}
  Goto ${no}
!macroend

!macro GyrofoldInit
  !if "${GYROFOLD_ARCH}" == "win64"
    ${IfNot} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "This is the 64-bit Quillbox Gyrofold; this Windows needs the 32-bit one (win32)." /SD IDOK
      Abort
    ${EndIf}
    SetRegView 64
  !endif
!macroend

; Every other account's set-up, run by Windows at the account's next logon
; (Active Setup): the sample as its picture, unless the account has chosen
; one (an empty choice included), as the installer does for its own account.
; "if errorlevel" rather than "||": some command interpreters (wine's) run
; the right side of "||" whatever the left returned.
!macro GyrofoldUserSetupCommand out
  StrCpy ${out} '"$SYSDIR\cmd.exe" /d /c reg query "HKCU\${GYROFOLD_SETTINGS_KEY}" /v IMGFilename >nul 2>&1 & if errorlevel 1 reg add "HKCU\${GYROFOLD_SETTINGS_KEY}" /v IMGFilename /t REG_SZ /d "$INSTDIR\sample.bmp" /f >nul'
!macroend

!macro GyrofoldInstall sizeKiB
  !insertmacro GyrofoldSaverPath $R0
  !insertmacro GyrofoldRedirection Disable
  Delete $R0
  ; A saver running right now is replaced when Windows restarts.
  Rename /REBOOTOK "$INSTDIR\gyrofold.scr" $R0
  !insertmacro GyrofoldRedirection Enable

  ClearErrors
  ReadRegStr $R1 HKCU "${GYROFOLD_SETTINGS_KEY}" "IMGFilename"
  ${If} ${Errors}
    WriteRegStr HKCU "${GYROFOLD_SETTINGS_KEY}" "IMGFilename" "$INSTDIR\sample.bmp"
  ${EndIf}
  !insertmacro GyrofoldUserSetupCommand $R1
  WriteRegStr HKLM "${GYROFOLD_ACTIVE_SETUP_KEY}" "" "${GYROFOLD_DISPLAY_NAME}"
  WriteRegStr HKLM "${GYROFOLD_ACTIVE_SETUP_KEY}" "StubPath" $R1
  WriteRegStr HKLM "${GYROFOLD_ACTIVE_SETUP_KEY}" "Version" "${GYROFOLD_VERSION_COMMAS}"
  WriteRegDWORD HKLM "${GYROFOLD_ACTIVE_SETUP_KEY}" "IsInstalled" 1
  ; This account has had its set-up.
  WriteRegStr HKCU "${GYROFOLD_ACTIVE_SETUP_KEY}" "Version" "${GYROFOLD_VERSION_COMMAS}"

  WriteRegStr HKLM "${GYROFOLD_UNINSTALL_KEY}" "DisplayName" "${GYROFOLD_DISPLAY_NAME}"
  WriteRegStr HKLM "${GYROFOLD_UNINSTALL_KEY}" "DisplayVersion" "${GYROFOLD_VERSION}"
  WriteRegStr HKLM "${GYROFOLD_UNINSTALL_KEY}" "Publisher" "Quillbox"
  WriteRegStr HKLM "${GYROFOLD_UNINSTALL_KEY}" "DisplayIcon" "$R0,0"
  WriteRegStr HKLM "${GYROFOLD_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${GYROFOLD_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${GYROFOLD_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${GYROFOLD_UNINSTALL_KEY}" "EstimatedSize" ${sizeKiB}
  WriteRegDWORD HKLM "${GYROFOLD_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${GYROFOLD_UNINSTALL_KEY}" "NoRepair" 1
!macroend

; As the platform's own Install action on a .scr does, remembering the
; screen saver it replaces so the uninstaller can give it back.
Function GyrofoldChooseSaver
  !insertmacro GyrofoldNamesThisSaver chosen remember
  remember:
  WriteRegStr HKCU "${GYROFOLD_USER_KEY}" "${GYROFOLD_PREVIOUS_SAVER}" $R2
  WriteRegStr HKCU "${GYROFOLD_DESKTOP_KEY}" "SCRNSAVE.EXE" $R0
  chosen:
FunctionEnd

Function GyrofoldOpenSettings
  Exec '"$SYSDIR\control.exe" desk.cpl,,@screensaver'
FunctionEnd

!macro GyrofoldUninstall
  ; Only while SCRNSAVE.EXE still names this saver does the one chosen
  ; before come back; another saver chosen since stays.
  !insertmacro GyrofoldNamesThisSaver ours others
  ours:
  ReadRegStr $R3 HKCU "${GYROFOLD_USER_KEY}" "${GYROFOLD_PREVIOUS_SAVER}"
  ${If} $R3 == ""
    DeleteRegValue HKCU "${GYROFOLD_DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${Else}
    WriteRegStr HKCU "${GYROFOLD_DESKTOP_KEY}" "SCRNSAVE.EXE" $R3
  ${EndIf}
  others:
  DeleteRegValue HKCU "${GYROFOLD_USER_KEY}" "${GYROFOLD_PREVIOUS_SAVER}"
  DeleteRegKey /ifempty HKCU "${GYROFOLD_USER_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Quillbox"

  !insertmacro GyrofoldRedirection Disable
  Delete /REBOOTOK $R0
  !insertmacro GyrofoldRedirection Enable
  DeleteRegKey HKLM "${GYROFOLD_ACTIVE_SETUP_KEY}"
  DeleteRegKey HKCU "${GYROFOLD_ACTIVE_SETUP_KEY}"
  DeleteRegKey HKLM "${GYROFOLD_UNINSTALL_KEY}"
!macroend
