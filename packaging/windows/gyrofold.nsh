; What the Gyrofold installer does beyond CPack's own template, which copies
; the release files into $INSTDIR and registers the uninstaller. Windows lists
; the screen savers it finds in its system folder, so the saver moves there;
; a first-time user's settings point at the sample; and the uninstaller takes
; back all of it except the settings, which are the user's.
; GYROFOLD_ARCH (win64 or win32) is defined before this file is included.

!include LogicLib.nsh
!include x64.nsh

!define GYROFOLD_SETTINGS_KEY "Software\Quillbox ScreenSavers\Whirlpan"
!define GYROFOLD_DESKTOP_KEY "Control Panel\Desktop"

; The installer is a 32-bit program: for the x64 build it turns file-system
; redirection off, so $SYSDIR is the real 64-bit system folder and not
; SysWOW64; the x86 build wants exactly that redirection.
!macro GyrofoldRedirection onOff
  !if "${GYROFOLD_ARCH}" == "win64"
    ${${onOff}X64FSRedirection}
  !endif
!macroend

; The saver's path as the platform starts it. A 64-bit Windows starts savers
; from a 64-bit process, which finds the x86 build only under SysWOW64.
!macro GyrofoldSaverPath out
  StrCpy ${out} "$SYSDIR\gyrofold.scr"
  !if "${GYROFOLD_ARCH}" == "win32"
    ${If} ${RunningX64}
      StrCpy ${out} "$WINDIR\SysWOW64\gyrofold.scr"
    ${EndIf}
  !endif
!macroend

!macro GyrofoldCheckWindows
  !if "${GYROFOLD_ARCH}" == "win64"
    ${IfNot} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP "This is the 64-bit Quillbox Gyrofold; this Windows needs the 32-bit one (win32)." /SD IDOK
      Abort
    ${EndIf}
  !endif
!macroend

!macro GyrofoldInstall
  !insertmacro GyrofoldRedirection Disable
  Delete "$SYSDIR\gyrofold.scr"
  ; A saver running right now is replaced when Windows restarts.
  Rename /REBOOTOK "$INSTDIR\gyrofold.scr" "$SYSDIR\gyrofold.scr"
  !insertmacro GyrofoldRedirection Enable

  ReadRegStr $R0 HKCU "${GYROFOLD_SETTINGS_KEY}" "IMGFilename"
  ${If} $R0 == ""
    WriteRegStr HKCU "${GYROFOLD_SETTINGS_KEY}" "IMGFilename" "$INSTDIR\sample.bmp"
  ${EndIf}

  ; As the platform's own Install action on a .scr does; yes when silent.
  ${If} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION "Make Quillbox Gyrofold your screen saver?" /SD IDYES IDYES`
    !insertmacro GyrofoldSaverPath $R0
    WriteRegStr HKCU "${GYROFOLD_DESKTOP_KEY}" "SCRNSAVE.EXE" $R0
  ${EndIf}
!macroend

!macro GyrofoldUninstall
  ; Only an entry naming this saver, long or short path, is cleared: another
  ; saver chosen since stays the user's screen saver.
  !insertmacro GyrofoldSaverPath $R0
  !insertmacro GyrofoldRedirection Disable
  GetFullPathName /SHORT $R1 $R0
  ReadRegStr $R2 HKCU "${GYROFOLD_DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $R2 == $R0
    DeleteRegValue HKCU "${GYROFOLD_DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${ElseIf} $R1 != ""
  ${AndIf} $R2 == $R1
    DeleteRegValue HKCU "${GYROFOLD_DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${EndIf}
  Delete /REBOOTOK "$SYSDIR\gyrofold.scr"
  !insertmacro GyrofoldRedirection Enable
!macroend

; CPack's uninstaller removes its Software\Quillbox\Gyrofold key last; the
; vendor key above it was made by the installer too, and goes when empty.
Function un.onUninstSuccess
  DeleteRegKey /ifempty SHCTX "Software\Quillbox"
FunctionEnd
