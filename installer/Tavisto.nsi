; Tavisto's setup program (NSIS). scripts/package builds it:
;   makensis -DVERSION=x.y.z -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> Tavisto.nsi
;
; Installs per machine into Program Files (administrator, the default) or, with
; /CURRENTUSER or without administrator rights, per user into
; %LOCALAPPDATA%\Programs\Tavisto with the band registered under HKCU\Software\Classes.
; /DESKBAND=yes|no overrides whether the band is registered: by default it is, except on
; the Windows 11 taskbar, which cannot show it; there the companion starts with Windows
; instead. /S installs silently.

Target amd64-unicode
Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel highest

!ifndef VERSION | STAGE | OUTFILE
  !error "VERSION, STAGE and OUTFILE must be defined"
!endif

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define CLASS_ID "{6D3F0A52-1C84-4E97-B2A6-93E5C07D14B8}"
!define CLASS_KEY "Software\Classes\CLSID\${CLASS_ID}"
!define DESK_BAND_CATEGORY "{00021492-0000-0000-C000-000000000046}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavisto"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Explorer caches the members of a component category: without the cache a band
; registered while Explorer runs is listed in Toolbars at once.
!define CATEGORY_CACHE "Software\Microsoft\Windows\CurrentVersion\Explorer\Discardable\PostSetup"
!define COMPANION_WINDOW_CLASS "TavistoCompanionClass"
; The companion's single-instance mutex: held from before its window exists until it ends.
!define COMPANION_MUTEX "Local\Tavisto.Taskbar"
!define SYNCHRONIZE 0x00100000

Name "Tavisto ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "Tavisto ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Tavisto"
VIAddVersionKey /LANG=1033 "CompanyName" "Tavisto"
VIAddVersionKey /LANG=1033 "FileDescription" "Tavisto setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Tavisto"

Var PerUser
Var Windows11Taskbar
Var RegisterBand
Var CompanionWasRunning
Var FinishText

!define MUI_FINISHPAGE_TEXT "$FinishText"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; SHCTX, $SMPROGRAMS and $APPDATA follow the shell context: all users or this user.
!macro SelectContext
  ${If} $PerUser == 1
    SetShellVarContext current
  ${Else}
    SetShellVarContext all
  ${EndIf}
!macroend

; Closes every running companion (it ends when its hidden window is closed) and waits
; a bounded time for it to end, so that its program file can be replaced. A companion
; that is still starting (its mutex but no window yet) or still ending is waited for too.
!macro CloseCompanion
  StrCpy $CompanionWasRunning 0
  StrCpy $R9 0
  ${Do}
    FindWindow $R8 "${COMPANION_WINDOW_CLASS}"
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${COMPANION_MUTEX}") p .R7'
    ${If} $R7 != 0
      System::Call 'kernel32::CloseHandle(p R7)'
    ${EndIf}
    ${If} $R8 == 0
    ${AndIf} $R7 == 0
      ${Break}
    ${EndIf}
    ${If} $R9 >= 50
      ${Break}
    ${EndIf}
    StrCpy $CompanionWasRunning 1
    ${If} $R8 != 0
      SendMessage $R8 ${WM_CLOSE} 0 0 /TIMEOUT=2000
    ${EndIf}
    Sleep 100
    IntOp $R9 $R9 + 1
  ${Loop}
!macroend

; A file that a process holds (the module in Explorer) cannot be replaced or deleted,
; but it can be renamed: move it aside and delete it at the next start.
!macro MoveAsideIfHeld FILE
  ${If} ${FileExists} "${FILE}"
    ClearErrors
    Delete "${FILE}"
    ${If} ${Errors}
      System::Call "kernel32::GetTickCount() i .r0"
      Rename "${FILE}" "${FILE}.$0.old"
      Delete /REBOOTOK "${FILE}.$0.old"
    ${EndIf}
  ${EndIf}
!macroend

; The Windows 11 taskbar: a taskbar window with a composition bridge child and no
; shown band host (a classic taskbar docks desk bands in its ReBarWindow32).
Function DetectTaskbar
  StrCpy $Windows11Taskbar 0
  StrCpy $0 0
  ${Do}
    FindWindow $0 "Shell_TrayWnd" "" 0 $0
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    FindWindow $1 "Windows.UI.Composition.DesktopWindowContentBridge" "" $0
    FindWindow $2 "ReBarWindow32" "" $0
    StrCpy $3 0
    ${If} $2 != 0
      System::Call "user32::IsWindowVisible(p r2) i .r3"
    ${EndIf}
    ${If} $1 != 0
    ${AndIf} $3 == 0
      StrCpy $Windows11Taskbar 1
      ${Break}
    ${EndIf}
  ${Loop}
FunctionEnd

Function .onInit
  SetRegView 64
  ${GetParameters} $R0
  System::Call "shell32::IsUserAnAdmin() i .r0"
  ; ${Errors} clears the flag it tests: keep each answer.
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  StrCpy $R2 1
  IfErrors 0 +2
    StrCpy $R2 0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  StrCpy $R3 1
  IfErrors 0 +2
    StrCpy $R3 0

  ${If} $R2 == 1
  ${OrIf} $0 == 0
    ; Without administrator rights only this user's install is possible.
    StrCpy $PerUser 1
  ${Else}
    StrCpy $PerUser 0
  ${EndIf}
  ${If} $R3 == 1
  ${AndIf} $0 == 0
  ${AndIf} $R2 == 0
    MessageBox MB_OK|MB_ICONSTOP "Installing for all users needs administrator rights." /SD IDOK
    SetErrorLevel 5
    Quit
  ${EndIf}
  ${If} $PerUser == 0
  ${AndIf} $R3 == 0
  ${AndIfNot} ${Silent}
    MessageBox MB_YESNO|MB_ICONQUESTION "Install Tavisto for every user of this computer?$\n$\n\
      Yes: into Program Files, for all users.$\nNo: for you only." IDYES +2
    StrCpy $PerUser 1
  ${EndIf}
  !insertmacro SelectContext
  ${If} $INSTDIR == ""
    ${If} $PerUser == 1
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Tavisto"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES64\Tavisto"
    ${EndIf}
  ${EndIf}

  Call DetectTaskbar
  ; An Explorer that loads a band it cannot show gains nothing and risks a hang.
  StrCpy $RegisterBand 1
  ${If} $Windows11Taskbar == 1
    StrCpy $RegisterBand 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/DESKBAND=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == "yes"
      StrCpy $RegisterBand 1
    ${ElseIf} $R1 == "no"
      StrCpy $RegisterBand 0
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Tavisto"
  SetRegView 64
  !insertmacro CloseCompanion
  SetOutPath "$INSTDIR"
  !insertmacro MoveAsideIfHeld "$INSTDIR\Tavisto.dll"
  !insertmacro MoveAsideIfHeld "$INSTDIR\Tavisto.exe"
  ; Copies moved aside by an earlier upgrade whose host has let go since.
  Delete "$INSTDIR\*.old"
  File "${STAGE}\Tavisto.dll"
  File "${STAGE}\Tavisto.exe"
  File "${STAGE}\tavisto-check.exe"
  File "${STAGE}\TavistoConfig.example.json"
  File "${STAGE}\TavistoConfig.schema.json"
  File "${STAGE}\README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The configuration is the user's: made from the example only when there is none.
  SetShellVarContext current
  ${IfNot} ${FileExists} "$APPDATA\Tavisto\TavistoConfig.json"
    CreateDirectory "$APPDATA\Tavisto"
    CopyFiles /SILENT "$INSTDIR\TavistoConfig.example.json" "$APPDATA\Tavisto\TavistoConfig.json"
  ${EndIf}
  !insertmacro SelectContext

  ; The keys the module's own registration writes, under the chosen context.
  ${If} $RegisterBand == 1
    WriteRegStr SHCTX "${CLASS_KEY}" "" "Tavisto"
    WriteRegStr SHCTX "${CLASS_KEY}\InprocServer32" "" "$INSTDIR\Tavisto.dll"
    WriteRegStr SHCTX "${CLASS_KEY}\InprocServer32" "ThreadingModel" "Apartment"
    ; The category is a key without values.
    WriteRegStr SHCTX "${CLASS_KEY}\Implemented Categories\${DESK_BAND_CATEGORY}" "" ""
    DeleteRegValue SHCTX "${CLASS_KEY}\Implemented Categories\${DESK_BAND_CATEGORY}" ""
    DeleteRegKey HKCU "${CATEGORY_CACHE}\Component Categories\${DESK_BAND_CATEGORY}"
    DeleteRegKey HKCU "${CATEGORY_CACHE}\Component Categories64\${DESK_BAND_CATEGORY}"
    StrCpy $FinishText "Tavisto is installed.$\r$\n$\r$\nTo show it, right-click the taskbar, open \
      Toolbars and tick Tavisto. If it is not listed yet, sign out and in again.$\r$\n$\r$\n\
      The meters are set in %APPDATA%\Tavisto\TavistoConfig.json."
  ${Else}
    ReadRegStr $0 SHCTX "${CLASS_KEY}\InprocServer32" ""
    ${If} $0 == "$INSTDIR\Tavisto.dll"
      DeleteRegKey SHCTX "${CLASS_KEY}"
    ${EndIf}
    StrCpy $FinishText "Tavisto is installed and shows its meters in the taskbar; it \
      starts with Windows.$\r$\n$\r$\nThe meters are set in \
      %APPDATA%\Tavisto\TavistoConfig.json."
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\Tavisto.lnk" "$INSTDIR\Tavisto.exe"

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Tavisto"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Tavisto"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Uninstall.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; The companion's own switch writes its per-user autostart value.
  ${If} $Windows11Taskbar == 1
    ExecWait '"$INSTDIR\Tavisto.exe" --taskbar --install-autostart'
    Exec '"$INSTDIR\Tavisto.exe" --taskbar'
  ${ElseIf} $CompanionWasRunning == 1
    Exec '"$INSTDIR\Tavisto.exe" --taskbar'
  ${EndIf}
SectionEnd

Function un.onInit
  SetRegView 64
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $PerUser 1
  ${If} $0 == $INSTDIR
    StrCpy $PerUser 0
  ${EndIf}
  !insertmacro SelectContext
FunctionEnd

Section "Uninstall"
  SetRegView 64
  !insertmacro CloseCompanion

  ; Only what points at this install: another copy may own the band or the autostart.
  ReadRegStr $0 HKCU "${RUN_KEY}" "Tavisto"
  ${If} $0 == '"$INSTDIR\Tavisto.exe" --taskbar'
    DeleteRegValue HKCU "${RUN_KEY}" "Tavisto"
  ${EndIf}
  ReadRegStr $0 SHCTX "${CLASS_KEY}\InprocServer32" ""
  ${If} $0 == "$INSTDIR\Tavisto.dll"
    DeleteRegKey SHCTX "${CLASS_KEY}"
  ${EndIf}
  Delete "$SMPROGRAMS\Tavisto.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"

  !insertmacro MoveAsideIfHeld "$INSTDIR\Tavisto.dll"
  !insertmacro MoveAsideIfHeld "$INSTDIR\Tavisto.exe"
  Delete "$INSTDIR\*.old"
  Delete "$INSTDIR\tavisto-check.exe"
  Delete "$INSTDIR\TavistoConfig.example.json"
  Delete "$INSTDIR\TavistoConfig.schema.json"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  ; %APPDATA%\Tavisto holds the user's configuration and stays.
SectionEnd
