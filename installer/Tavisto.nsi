; Tavisto's setup program (NSIS). scripts/package builds it:
;   makensis -DVERSION=x.y.z -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe>
;     -DIDENTIFIERS=<build>/generated/tavisto_identifiers.nsh
;     -DTEXTS=<build>/generated/texts Tavisto.nsi
; TEXTS is the folder of languages.nsh, the setup texts of every language, made from po/.
;
; Installs per machine into a new folder inside Program Files (/ALLUSERS) or per user into
; %LOCALAPPDATA%\Programs\Tavisto (/CURRENTUSER) with the band registered under
; HKCU\Software\Classes. /D= names the folder as Browse does: \Tavisto is added unless it
; ends so. Setup runs at the user's level and asks for elevation only for a
; per-machine install, by starting a copy of itself elevated; a per-user install never
; runs elevated. Setup never runs a program from the install folder: the autostart value
; is its own registry write, and the companion is started by the desktop's Explorer as
; the signed-in user.
; /DESKBAND=yes|no overrides whether the band is registered: by default it is, except on
; the Windows 11 taskbar, which cannot show it; there the companion starts with Windows
; instead. /S installs silently.
; Setup speaks the user's Windows display language when it has it (a region falls to its
; language), else English; /LANGUAGE=<LANGID> chooses one, as setup passes it to its
; elevated copy and the uninstaller to its own.

Target amd64-unicode
Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user
; The folder name Browse appends to the folder the user picks.
InstallDir "$PROGRAMFILES64\Tavisto"

!ifndef VERSION | STAGE | OUTFILE | IDENTIFIERS | TEXTS
  !error "VERSION, STAGE, OUTFILE, IDENTIFIERS and TEXTS must be defined"
!endif

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
; CLASS_ID, COMPANION_WINDOW_CLASS and COMPANION_MUTEX, as the programs have them.
!include "${IDENTIFIERS}"

!define CLASS_KEY "Software\Classes\CLSID\${CLASS_ID}"
!define DESK_BAND_CATEGORY "{00021492-0000-0000-C000-000000000046}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavisto"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Explorer caches the members of a component category: without the cache a band
; registered while Explorer runs is listed in Toolbars at once.
!define CATEGORY_CACHE "Software\Microsoft\Windows\CurrentVersion\Explorer\Discardable\PostSetup"
!define SYNCHRONIZE 0x00100000
!define AUTOSTART_VALUE "Tavisto"
; The configuration as the finish page names it to the user.
!define CONFIGURATION_SHOWN "%APPDATA%\Tavisto\TavistoConfig.json"
!define SEE_MASK_NOCLOSEPROCESS 0x40
!define ERROR_CANCELLED 1223
!define CLSID_ShellWindows "{9BA05972-F6A8-11CF-A442-00A0C90A8F39}"
!define IID_IShellWindows "{85CB6900-4D95-11CF-960C-0080C7F4EE85}"
!define IID_IServiceProvider "{6D5140C1-7436-11CE-8034-00AA006009FA}"
!define SID_STopLevelBrowser "{4C96BE40-915C-11CF-99D3-00AA004AE837}"
!define IID_IShellBrowser "{000214E2-0000-0000-C000-000000000046}"
!define IID_IDispatch "{00020400-0000-0000-C000-000000000046}"
!define IID_IShellFolderViewDual "{E7A1AF80-4D96-11CF-960C-0080C7F4EE85}"
!define IID_IShellDispatch2 "{A4C6892C-3BA9-11D2-9DEA-00C04FB16162}"
!define ERROR_ALREADY_EXISTS 183
; CreateFileW: FILE_READ_ATTRIBUTES (for its final path), with READ_CONTROL | WRITE_DAC
; for the install folder; any sharing; OPEN_EXISTING; and FILE_FLAG_BACKUP_SEMANTICS,
; without which a folder cannot be opened.
!define FILE_READ_ATTRIBUTES 0x00000080
!define FOLDER_ACCESS 0x00060080
!define FILE_SHARE_ALL 7
!define OPEN_EXISTING 3
!define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
!define INVALID_HANDLE_VALUE -1
; The per-machine folder's DACL, protected from its parent's: Administrators and SYSTEM
; full control, Users read and execute, each inherited by the files and folders in it.
!define MACHINE_FOLDER_SDDL "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
!define SDDL_REVISION_1 1
; DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION
!define SET_PROTECTED_DACL 0x80000004

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
Var DirectoryGiven
Var DeskBandOption
Var Administrator
Var ElevatedCopy
; The per-machine folder, as PlanMachineFolder finds it: $INSTDIR as a full path, the
; Program Files folder it is in, the path below that, the folder below Program Files that
; holds it, and 1 when HKLM's uninstall entry names it (this machine's earlier install).
Var FolderFull
Var FolderBase
Var FolderRest
Var FolderTop
Var FolderRegistered
; The outermost folder that PrepareMachineFolder made, "" when it made none.
Var FolderMade
; FillText's text, filled in place, and the placeholder and value it fills in.
Var Text
Var TextName
Var TextValue

!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; In the order of make-texts' languages; the first is the one setup falls back to.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "Korean"
; LangString Setup... for each language above.
!include "${TEXTS}\languages.nsh"

; Replaces every $TextName in $Text with $TextValue: the texts are whole sentences with
; {placeholders}, as each language orders them.
!macro FillTextFunction UN
Function ${UN}FillText
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $0 ""
  StrLen $1 $TextName
  StrCpy $2 0
  ${Do}
    StrCpy $3 $Text $1 $2
    ${If} $3 == ""
      ${Break}
    ${EndIf}
    ${If} $3 == $TextName
      StrCpy $0 "$0$TextValue"
      IntOp $2 $2 + $1
    ${Else}
      StrCpy $3 $Text 1 $2
      StrCpy $0 "$0$3"
      IntOp $2 $2 + 1
    ${EndIf}
  ${Loop}
  StrCpy $Text $0
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro FillTextFunction ""
!insertmacro FillTextFunction "un."

; Sets $Text to the language string TEXT with {NAME} filled with VALUE.
!macro TextWith UN TEXT NAME VALUE
  StrCpy $Text "${TEXT}"
  !insertmacro Fill "${UN}" ${NAME} "${VALUE}"
!macroend
; Fills one more placeholder of $Text.
!macro Fill UN NAME VALUE
  StrCpy $TextName "{${NAME}}"
  StrCpy $TextValue "${VALUE}"
  Call ${UN}FillText
!macroend

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
    ${If} $CompanionWasRunning == 0
      DetailPrint "$(SetupClosingCompanion)"
    ${EndIf}
    StrCpy $CompanionWasRunning 1
    ${If} $R8 != 0
      SendMessage $R8 ${WM_CLOSE} 0 0 /TIMEOUT=2000
    ${EndIf}
    Sleep 100
    IntOp $R9 $R9 + 1
  ${Loop}
!macroend

!define AUTOSTART_COMMAND '"$INSTDIR\Tavisto.exe" --taskbar'
; Only a value that starts this install: another copy may own it.
!macro DeleteAutostartOfThisInstall ROOT
  ReadRegStr $0 ${ROOT} "${RUN_KEY}" "${AUTOSTART_VALUE}"
  ${If} $0 == '${AUTOSTART_COMMAND}'
    DeleteRegValue ${ROOT} "${RUN_KEY}" "${AUTOSTART_VALUE}"
  ${EndIf}
!macroend

; The configuration is the user's: made from the example only when there is none.
!macro CreateConfigurationIfNone
  SetShellVarContext current
  ${IfNot} ${FileExists} "$APPDATA\Tavisto\TavistoConfig.json"
    CreateDirectory "$APPDATA\Tavisto"
    CopyFiles /SILENT "$INSTDIR\TavistoConfig.example.json" "$APPDATA\Tavisto\TavistoConfig.json"
  ${EndIf}
  !insertmacro SelectContext
!macroend

; The copies MoveAsideIfHeld made; nothing else in the folder is ours to delete.
!macro DeleteMovedAside
  Delete "$INSTDIR\Tavisto.dll.*.old"
  Delete "$INSTDIR\Tavisto.exe.*.old"
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

; Runs the program $R5 with the parameters $R6 elevated (Windows asks for an
; administrator's approval), waits for it and sets $0 to its exit code (5 when it did not
; start). This copy keeps the user's own token.
!macro RunElevatedFunction UN
Function ${UN}RunElevated
  System::Call '*(i 112, i ${SEE_MASK_NOCLOSEPROCESS}, p 0, w "runas", w R5, w R6, p 0, \
    i ${SW_SHOWNORMAL}, i 0, p 0, p 0, p 0, p 0, i 0, i 0, p 0, p 0) p .r1'
  System::Call "shell32::ShellExecuteExW(p r1) i .r2 ?e"
  Pop $3
  System::Call "*$1(i, i, p, p, p, p, p, i, i, p, p, p, p, i, i, p, p .r4)"
  System::Free $1
  ${If} $2 == 0
  ${OrIf} $4 == 0
    ${If} $3 != ${ERROR_CANCELLED}
      !insertmacro TextWith "${UN}" "$(SetupAdminStartFailed)" program $R5
      !insertmacro Fill "${UN}" code $3
      MessageBox MB_OK|MB_ICONSTOP "$Text" /SD IDOK
    ${EndIf}
    StrCpy $0 5
    Return
  ${EndIf}
  System::Call "kernel32::WaitForSingleObject(p r4, i -1)"
  System::Call "kernel32::GetExitCodeProcess(p r4, *i .r0)"
  System::Call "kernel32::CloseHandle(p r4)"
FunctionEnd
!macroend
!insertmacro RunElevatedFunction ""
!insertmacro RunElevatedFunction "un."

; A per-machine install goes only into a folder inside Program Files that this setup
; makes, or that holds this machine's earlier install: the band is loaded into every user's
; Explorer, and only administrators can change what is in a folder made there. A folder
; made under a drive's root lets every signed-in user change what is in it; a folder that
; was there before may have been given to others, or hold their files; Common Files is
; shared by other programs; a link in Program Files can lead anywhere.

; Sets $0 to 1 and $FolderBase and $FolderRest when $FolderFull is a folder below the
; folder PARENT.
!macro FolderBelow PARENT
  StrLen $2 "${PARENT}\"
  StrCpy $3 $FolderFull $2
  StrCpy $4 $FolderFull "" $2
  ; == ignores case, as the file system does.
  ${If} $3 == "${PARENT}\"
  ${AndIf} $4 != ""
    StrCpy $0 1
    StrCpy $FolderBase "${PARENT}"
    StrCpy $FolderRest $4
  ${EndIf}
!macroend
!macro RefuseBelowOrAt PARENT
  StrLen $2 "${PARENT}\"
  StrCpy $3 $FolderFull $2
  ${If} $3 == "${PARENT}\"
  ${OrIf} $FolderFull == "${PARENT}"
    StrCpy $0 0
  ${EndIf}
!macroend

; Splits $1 at its first backslash: $2 the part before it (all of $1 when there is none),
; $3 the part after it. Uses $4 and $5.
Function SplitAtFirstBackslash
  StrCpy $4 0
  ${Do}
    StrCpy $5 $1 1 $4
    ${If} $5 == ""
      StrCpy $2 $1
      StrCpy $3 ""
      Return
    ${EndIf}
    ${If} $5 == "\"
      StrCpy $2 $1 $4
      IntOp $4 $4 + 1
      StrCpy $3 $1 "" $4
      Return
    ${EndIf}
    IntOp $4 $4 + 1
  ${Loop}
FunctionEnd

; Checks the per-machine folder $INSTDIR by its text and by what is there now, making
; nothing: sets $0 to "" or to why it is refused. Sets the Folder variables.
Function PlanMachineFolder
  StrCpy $FolderBase ""
  StrCpy $FolderRest ""
  StrCpy $FolderTop ""
  StrCpy $FolderRegistered 0
  StrCpy $0 0
  ; Through a register: a quote in the path would end a literal.
  StrCpy $1 $INSTDIR
  System::Call "kernel32::GetFullPathNameW(w r1, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2"
  StrCpy $FolderFull $1
  StrCpy $1 $FolderFull 1 -1
  ${If} $1 == "\"
    StrCpy $FolderFull $FolderFull -1
  ${EndIf}
  ${If} $2 != 0
  ${AndIf} $2 < ${NSIS_MAX_STRLEN}
    !insertmacro FolderBelow "$PROGRAMFILES64"
    !insertmacro FolderBelow "$PROGRAMFILES32"
    !insertmacro RefuseBelowOrAt "$COMMONFILES64"
    !insertmacro RefuseBelowOrAt "$COMMONFILES32"
  ${EndIf}
  ${If} $0 == 0
    !insertmacro TextWith "" "$(SetupFolderOutsideProgramFiles)" programFiles $PROGRAMFILES64
    !insertmacro Fill "" folder $INSTDIR
    StrCpy $0 $Text
    Return
  ${EndIf}
  ; Every part of the path below Program Files names a folder.
  StrCpy $1 $FolderRest
  ${Do}
    Call SplitAtFirstBackslash
    ${If} $2 == ""
      !insertmacro TextWith "" "$(SetupFolderNameInvalid)" folder $INSTDIR
      StrCpy $0 $Text
      Return
    ${EndIf}
    ${If} $FolderTop == ""
      StrCpy $FolderTop "$FolderBase\$2"
    ${EndIf}
    StrCpy $1 $3
  ${LoopUntil} $1 == ""
  ; Only administrators can write this key.
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} $1 == $INSTDIR
    StrCpy $FolderRegistered 1
  ${ElseIf} $1 != ""
  ${AndIf} $1 == $FolderFull
    StrCpy $FolderRegistered 1
  ${EndIf}
  StrCpy $0 ""
  ; Whatever is there, a folder, a file or a link: GetFileAttributesW does not follow links.
  StrCpy $1 $FolderTop
  System::Call "kernel32::GetFileAttributesW(w r1) i .r2"
  ${If} $2 != -1
  ${AndIf} $FolderRegistered == 0
    !insertmacro TextWith "" "$(SetupFolderExists)" folder $FolderTop
    !insertmacro Fill "" programFiles $PROGRAMFILES64
    StrCpy $0 $Text
  ${EndIf}
FunctionEnd

; Sets $1 to the final path of the open folder handle $9 (links resolved), "" when it has
; none. Uses $2 and $3.
Function FinalPathOfHandle
  System::Call "kernel32::GetFinalPathNameByHandleW(p r9, w .r1, i ${NSIS_MAX_STRLEN}, i 0) i .r2"
  ${If} $2 == 0
  ${OrIf} $2 >= ${NSIS_MAX_STRLEN}
    StrCpy $1 ""
    Return
  ${EndIf}
  ; \\?\C:\... is C:\...; \\?\UNC\server\share\... stays unlike any Program Files.
  StrCpy $3 $1 4
  ${If} $3 == "\\?\"
    StrCpy $1 $1 "" 4
  ${EndIf}
FunctionEnd

; Sets $1 to the final path of the folder $1, "" when it cannot be opened. Uses $2, $3
; and $9.
Function FinalPathOfFolder
  System::Call "kernel32::CreateFileW(w r1, i ${FILE_READ_ATTRIBUTES}, i ${FILE_SHARE_ALL}, p 0, \
    i ${OPEN_EXISTING}, i ${FILE_FLAG_BACKUP_SEMANTICS}, p 0) p .r9"
  StrCpy $1 ""
  ${If} $9 != ${INVALID_HANDLE_VALUE}
    Call FinalPathOfHandle
    System::Call "kernel32::CloseHandle(p r9)"
  ${EndIf}
FunctionEnd

; Makes the per-machine folder and sets its DACL; sets $0 to "" or to why it is refused,
; having removed the folders it made. The folder below Program Files that holds it must be
; new, made here, unless it holds this machine's earlier install; the folder must be
; where its path says, not reached through a link, by its final path.
Function PrepareMachineFolder
  Call PlanMachineFolder
  StrCpy $FolderMade ""
  ${If} $0 != ""
    Return
  ${EndIf}
  ; The folders one by one from Program Files down: CreateDirectoryW fails on whatever is
  ; there already, so "made here" cannot be a guess.
  StrCpy $6 $FolderBase
  StrCpy $1 $FolderRest
  ${Do}
    Call SplitAtFirstBackslash
    StrCpy $6 "$6\$2"
    StrCpy $1 $3
    System::Call "kernel32::CreateDirectoryW(w r6, p 0) i .r7 ?e"
    Pop $8
    ${If} $7 != 0
      ${If} $FolderMade == ""
        StrCpy $FolderMade $6
      ${EndIf}
    ${ElseIf} $8 != ${ERROR_ALREADY_EXISTS}
      !insertmacro TextWith "" "$(SetupFolderNotMade)" folder $6
      !insertmacro Fill "" code $8
      StrCpy $0 $Text
      ${Break}
    ${ElseIf} $FolderMade != ""
      ; Inside a folder made a moment ago: only another administrator's program.
      !insertmacro TextWith "" "$(SetupFolderAppeared)" folder $6
      StrCpy $0 $Text
      ${Break}
    ${ElseIf} $FolderRegistered == 0
      !insertmacro TextWith "" "$(SetupFolderExists)" folder $6
      !insertmacro Fill "" programFiles $PROGRAMFILES64
      StrCpy $0 $Text
      ${Break}
    ${EndIf}
  ${LoopUntil} $1 == ""

  ${If} $0 == ""
    StrCpy $1 $FolderBase
    Call FinalPathOfFolder
    StrCpy $6 $1
    ; One handle, closed on every path: the folder whose final path is checked is the one
    ; whose DACL is set.
    StrCpy $1 $FolderFull
    System::Call "kernel32::CreateFileW(w r1, i ${FOLDER_ACCESS}, i ${FILE_SHARE_ALL}, p 0, \
      i ${OPEN_EXISTING}, i ${FILE_FLAG_BACKUP_SEMANTICS}, p 0) p .r9 ?e"
    Pop $8
    ${If} $9 == ${INVALID_HANDLE_VALUE}
      !insertmacro TextWith "" "$(SetupFolderNotOpened)" folder $FolderFull
      !insertmacro Fill "" code $8
      StrCpy $0 $Text
    ${Else}
      Call FinalPathOfHandle
      ${If} $6 == ""
      ${OrIf} $1 != "$6\$FolderRest"
        ; A link (junction, symbolic link or mount point) on the way.
        !insertmacro TextWith "" "$(SetupFolderIsLink)" folder $FolderFull
        !insertmacro Fill "" target $1
        !insertmacro Fill "" programFiles $PROGRAMFILES64
        StrCpy $0 $Text
      ${Else}
        ; The exact descriptor: SetKernelObjectSecurity merges nothing from the parent.
        System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW( \
          w "${MACHINE_FOLDER_SDDL}", i ${SDDL_REVISION_1}, *p .r4, p 0) i .r5 ?e'
        Pop $8
        ${If} $5 != 0
          System::Call "advapi32::SetKernelObjectSecurity(p r9, i ${SET_PROTECTED_DACL}, p r4) \
            i .r5 ?e"
          Pop $8
          System::Call "kernel32::LocalFree(p r4)"
        ${EndIf}
        ${If} $5 == 0
          !insertmacro TextWith "" "$(SetupFolderAccessNotSet)" folder $FolderFull
          !insertmacro Fill "" code $8
          StrCpy $0 $Text
        ${EndIf}
      ${EndIf}
      System::Call "kernel32::CloseHandle(p r9)"
    ${EndIf}
  ${EndIf}

  ${If} $0 != ""
  ${AndIf} $FolderMade != ""
    ; Only the folders made here, innermost first, and only while empty.
    StrCpy $1 $FolderFull
    ${Do}
      RMDir $1
      ${If} $1 == $FolderMade
        ${Break}
      ${EndIf}
      ${GetParent} $1 $1
    ${LoopUntil} $1 == ""
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  ${If} $PerUser == 0
    Call PlanMachineFolder
    ${If} $0 != ""
      MessageBox MB_OK|MB_ICONEXCLAMATION "$0"
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd

; NSIS has chosen the language of the user's Windows display language, or of its primary
; language; /LANGUAGE= overrides it. A user of Chinese in traditional characters gets
; English rather than the simplified characters (the programs try their next display
; language first).
!macro ChooseLanguage
  ClearErrors
  ${GetOptions} $R0 "/LANGUAGE=" $R1
  ${IfNot} ${Errors}
    StrCpy $LANGUAGE $R1
  ${ElseIf} $LANGUAGE == ${LANG_SIMPCHINESE}
    System::Call "kernel32::GetUserDefaultUILanguage() i .r0"
    ; zh-TW, zh-HK, zh-MO
    ${If} $0 = 0x0404
    ${OrIf} $0 = 0x0C04
    ${OrIf} $0 = 0x1404
      StrCpy $LANGUAGE ${LANG_ENGLISH}
    ${EndIf}
  ${EndIf}
!macroend

!macro ReleaseIfHeld INTERFACE
  ${If} ${INTERFACE} != 0
    System::Call "${INTERFACE}->2()"
  ${EndIf}
!macroend

; Starts the companion as the user signed in at this desktop, whatever this setup's own
; token: the desktop's Explorer runs it (shell view -> Shell.Application ->
; IShellDispatch2::ShellExecute), so an elevated setup never gives the companion its
; rights. Without a desktop shell (a deployment service) nothing starts: the autostart
; value starts it at the next sign-in.
Function StartCompanionThroughShell
  StrCpy $R1 0
  StrCpy $R2 0
  StrCpy $R3 0
  StrCpy $R4 0
  StrCpy $R5 0
  StrCpy $R6 0
  StrCpy $R7 0
  StrCpy $R8 0
  ; The install section runs on a thread of its own.
  System::Call "ole32::CoInitializeEx(p 0, i 2) i .R0"
  System::Call "*(&i2 0, &i2 0, &i2 0, &i2 0, p 0, p 0) p .r8"
  System::Call "ole32::CoCreateInstance(g '${CLSID_ShellWindows}', p 0, i 0x17, \
    g '${IID_IShellWindows}', *p .R1) i .r9"
  IntCmp $9 0 0 release release
  ; FindWindowSW(SWC_DESKTOP, SWFO_NEEDDISPATCH)
  System::Call "$R1->15(p r8, p r8, i 8, *i .r7, i 1, *p .R2) i .r9"
  IntCmp $9 0 0 release release
  System::Call "$R2->0(g '${IID_IServiceProvider}', *p .R3) i .r9"
  IntCmp $9 0 0 release release
  System::Call "$R3->3(g '${SID_STopLevelBrowser}', g '${IID_IShellBrowser}', *p .R4) i .r9"
  IntCmp $9 0 0 release release
  ; QueryActiveShellView
  System::Call "$R4->15(*p .R5) i .r9"
  IntCmp $9 0 0 release release
  ; GetItemObject(SVGIO_BACKGROUND)
  System::Call "$R5->15(i 0, g '${IID_IDispatch}', *p .R6) i .r9"
  IntCmp $9 0 0 release release
  System::Call "$R6->0(g '${IID_IShellFolderViewDual}', *p .R7) i .r9"
  IntCmp $9 0 0 release release
  ; get_Application
  System::Call "$R7->7(*p .R8) i .r9"
  IntCmp $9 0 0 release release
  System::Call "$R8->0(g '${IID_IShellDispatch2}', *p .r1) i .r9"
  IntCmp $9 0 0 release release
  StrCpy $2 "$INSTDIR\Tavisto.exe"
  System::Call "oleaut32::SysAllocString(w r2) p .r2"
  System::Call "oleaut32::SysAllocString(w '--taskbar') p .r3"
  ; A VARIANT of type VT_BSTR: by value it is passed as a pointer to a copy.
  System::Call "*(&i2 8, &i2 0, &i2 0, &i2 0, p r3, p 0) p .r4"
  System::Call "$1->31(p r2, p r4, p r8, p r8, p r8)"
  System::Free $4
  System::Call "oleaut32::SysFreeString(p r3)"
  System::Call "oleaut32::SysFreeString(p r2)"
  System::Call "$1->2()"
release:
  !insertmacro ReleaseIfHeld $R8
  !insertmacro ReleaseIfHeld $R7
  !insertmacro ReleaseIfHeld $R6
  !insertmacro ReleaseIfHeld $R5
  !insertmacro ReleaseIfHeld $R4
  !insertmacro ReleaseIfHeld $R3
  !insertmacro ReleaseIfHeld $R2
  !insertmacro ReleaseIfHeld $R1
  System::Free $8
  ${If} $R0 >= 0
    System::Call "ole32::CoUninitialize()"
  ${EndIf}
FunctionEnd

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
  !insertmacro ChooseLanguage
  ; An elevated token (or an administrator without UAC) can write Program Files and HKLM.
  System::Call "shell32::IsUserAnAdmin() i .s"
  Pop $Administrator
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
  ClearErrors
  ${GetOptions} $R0 "/ELEVATED" $R1
  StrCpy $ElevatedCopy 1
  IfErrors 0 +2
    StrCpy $ElevatedCopy 0
  ClearErrors
  ${GetOptions} $R0 "/DESKBAND=" $DeskBandOption
  IfErrors 0 +2
    StrCpy $DeskBandOption ""
  ; NSIS has put /D= into $INSTDIR in place of InstallDir.
  StrCpy $DirectoryGiven 1
  ${If} $INSTDIR == "$PROGRAMFILES64\Tavisto"
    StrCpy $DirectoryGiven 0
  ${EndIf}

  ${If} $R2 == 1
    StrCpy $PerUser 1
  ${ElseIf} $R3 == 1
    StrCpy $PerUser 0
  ${ElseIf} ${Silent}
    ; Silently for all users only when already run as administrator: a silent setup
    ; asks for no elevation unless /ALLUSERS says so.
    StrCpy $PerUser 1
    ${If} $Administrator != 0
      StrCpy $PerUser 0
    ${EndIf}
  ${Else}
    StrCpy $PerUser 1
    !insertmacro TextWith "" "$(SetupAllUsersQuestion)" programFiles $PROGRAMFILES64
    MessageBox MB_YESNO|MB_ICONQUESTION "$Text" IDNO +2
    StrCpy $PerUser 0
  ${EndIf}
  !insertmacro SelectContext
  ${If} $DirectoryGiven == 0
    ${If} $PerUser == 1
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Tavisto"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES64\Tavisto"
    ${EndIf}
  ${Else}
    ; As Browse does, for both kinds of install: the uninstaller removes the folder, and
    ; setup's files never mix with others'.
    StrCpy $0 $INSTDIR 1 -1
    ${If} $0 == "\"
      StrCpy $INSTDIR $INSTDIR -1
    ${EndIf}
    StrCpy $0 $INSTDIR "" -8
    ${If} $0 != "\Tavisto"
      StrCpy $INSTDIR "$INSTDIR\Tavisto"
    ${EndIf}
  ${EndIf}
  ${If} $PerUser == 0
  ${AndIf} ${Silent}
    ; Refused here without asking for elevation; the install section checks again what it
    ; makes.
    Call PlanMachineFolder
    ${If} $0 != ""
      MessageBox MB_OK|MB_ICONSTOP "$0" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
  ${If} $PerUser == 0
  ${AndIf} $Administrator == 0
    ${If} $ElevatedCopy == 1
      ; The elevated copy got no administrator rights: never start another.
      MessageBox MB_OK|MB_ICONSTOP "$(SetupNeedsAdministrator)" /SD IDOK
      SetErrorLevel 5
      Quit
    ${EndIf}
    StrCpy $R5 $EXEPATH
    StrCpy $R6 "/ELEVATED /ALLUSERS /LANGUAGE=$LANGUAGE"
    ${If} ${Silent}
      StrCpy $R6 "$R6 /S"
    ${EndIf}
    ${If} $DeskBandOption != ""
      StrCpy $R6 "$R6 /DESKBAND=$DeskBandOption"
    ${EndIf}
    ${If} $DirectoryGiven == 1
      ; /D= comes last and unquoted.
      StrCpy $R6 "$R6 /D=$INSTDIR"
    ${EndIf}
    Call RunElevated
    ; Approved over the shoulder, the elevated copy runs as the administrator: this
    ; user's configuration is made here.
    ${If} $0 == 0
      !insertmacro CreateConfigurationIfNone
    ${EndIf}
    SetErrorLevel $0
    Quit
  ${EndIf}

  Call DetectTaskbar
  ; An Explorer that loads a band it cannot show gains nothing and risks a hang.
  StrCpy $RegisterBand 1
  ${If} $Windows11Taskbar == 1
    StrCpy $RegisterBand 0
  ${EndIf}
  ${If} $DeskBandOption == "yes"
    StrCpy $RegisterBand 1
  ${ElseIf} $DeskBandOption == "no"
    StrCpy $RegisterBand 0
  ${EndIf}
FunctionEnd

Section "Tavisto"
  SetRegView 64
  ${If} $PerUser == 0
    Call PrepareMachineFolder
    ${If} $0 != ""
      MessageBox MB_OK|MB_ICONSTOP "$0" /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${EndIf}
  !insertmacro CloseCompanion
  SetOutPath "$INSTDIR"
  !insertmacro MoveAsideIfHeld "$INSTDIR\Tavisto.dll"
  !insertmacro MoveAsideIfHeld "$INSTDIR\Tavisto.exe"
  ; Copies moved aside by an earlier upgrade whose host has let go since: only ours.
  !insertmacro DeleteMovedAside
  File "${STAGE}\Tavisto.dll"
  File "${STAGE}\Tavisto.exe"
  File "${STAGE}\tavisto-check.exe"
  File "${STAGE}\TavistoConfig.example.json"
  File "${STAGE}\TavistoConfig.schema.json"
  File "${STAGE}\README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ${If} $ElevatedCopy == 0
    !insertmacro CreateConfigurationIfNone
  ${EndIf}

  ; The keys the module's own registration writes, under the chosen context.
  ${If} $RegisterBand == 1
    DetailPrint "$(SetupRegisteringBand)"
    WriteRegStr SHCTX "${CLASS_KEY}" "" "Tavisto"
    WriteRegStr SHCTX "${CLASS_KEY}\InprocServer32" "" "$INSTDIR\Tavisto.dll"
    WriteRegStr SHCTX "${CLASS_KEY}\InprocServer32" "ThreadingModel" "Apartment"
    ; The category is a key without values.
    WriteRegStr SHCTX "${CLASS_KEY}\Implemented Categories\${DESK_BAND_CATEGORY}" "" ""
    DeleteRegValue SHCTX "${CLASS_KEY}\Implemented Categories\${DESK_BAND_CATEGORY}" ""
    DeleteRegKey HKCU "${CATEGORY_CACHE}\Component Categories\${DESK_BAND_CATEGORY}"
    DeleteRegKey HKCU "${CATEGORY_CACHE}\Component Categories64\${DESK_BAND_CATEGORY}"
    !insertmacro TextWith "" "$(SetupFinishBand)" file "${CONFIGURATION_SHOWN}"
    StrCpy $FinishText $Text
  ${Else}
    ReadRegStr $0 SHCTX "${CLASS_KEY}\InprocServer32" ""
    ${If} $0 == "$INSTDIR\Tavisto.dll"
      DeleteRegKey SHCTX "${CLASS_KEY}"
    ${EndIf}
    !insertmacro TextWith "" "$(SetupFinishCompanion)" file "${CONFIGURATION_SHOWN}"
    StrCpy $FinishText $Text
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\Tavisto.lnk" "$INSTDIR\Tavisto.exe" "" "$INSTDIR\Tavisto.exe" 0 \
    SW_SHOWNORMAL "" "$(SetupShortcutDescription)"

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

  ; The value "Tavisto.exe --install-autostart" writes, for every user of a per-machine
  ; install. A setup before this one wrote it for the installing user only: drop that copy.
  ${If} $PerUser == 0
    !insertmacro DeleteAutostartOfThisInstall HKCU
  ${EndIf}
  ${If} $Windows11Taskbar == 1
    DetailPrint "$(SetupAddingAutostart)"
    WriteRegStr SHCTX "${RUN_KEY}" "${AUTOSTART_VALUE}" '${AUTOSTART_COMMAND}'
  ${EndIf}
  ${If} $Windows11Taskbar == 1
  ${OrIf} $CompanionWasRunning == 1
    Call StartCompanionThroughShell
  ${EndIf}
SectionEnd

Function un.onInit
  SetRegView 64
  ${GetParameters} $R0
  !insertmacro ChooseLanguage
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $PerUser 1
  ${If} $0 == $INSTDIR
    StrCpy $PerUser 0
  ${EndIf}
  System::Call "shell32::IsUserAnAdmin() i .r1"
  ${If} $PerUser == 0
  ${AndIf} $1 == 0
    ; Elevated, the uninstaller runs in place from the install folder, which only
    ; administrators can change, not from a copy in the user's temporary folder.
    StrCpy $R5 "$INSTDIR\Uninstall.exe"
    ; _?= comes last and unquoted.
    StrCpy $R6 "/LANGUAGE=$LANGUAGE _?=$INSTDIR"
    ${If} ${Silent}
      StrCpy $R6 "/S $R6"
    ${EndIf}
    Call un.RunElevated
    SetErrorLevel $0
    Quit
  ${EndIf}
  !insertmacro SelectContext
FunctionEnd

Section "Uninstall"
  SetRegView 64
  !insertmacro CloseCompanion

  ; Only what points at this install: another copy may own the band or the autostart.
  !insertmacro DeleteAutostartOfThisInstall SHCTX
  !insertmacro DeleteAutostartOfThisInstall HKCU
  ReadRegStr $0 SHCTX "${CLASS_KEY}\InprocServer32" ""
  ${If} $0 == "$INSTDIR\Tavisto.dll"
    DeleteRegKey SHCTX "${CLASS_KEY}"
  ${EndIf}
  Delete "$SMPROGRAMS\Tavisto.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"

  !insertmacro MoveAsideIfHeld "$INSTDIR\Tavisto.dll"
  !insertmacro MoveAsideIfHeld "$INSTDIR\Tavisto.exe"
  !insertmacro DeleteMovedAside
  Delete "$INSTDIR\tavisto-check.exe"
  Delete "$INSTDIR\TavistoConfig.example.json"
  Delete "$INSTDIR\TavistoConfig.schema.json"
  Delete "$INSTDIR\README.txt"
  ; Run in place by the elevated copy below, the uninstaller cannot delete itself now.
  Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  ${If} $PerUser == 0
    ; The folders that setup made above it inside Program Files (/D=), each once empty:
    ; now, or at the next start after the install folder itself. Else a new install there
    ; would find them and refuse them.
    StrCpy $1 $INSTDIR
    ${Do}
      ${GetParent} $1 $1
      StrLen $2 "$PROGRAMFILES64\"
      StrCpy $3 $1 $2
      StrLen $2 "$PROGRAMFILES32\"
      StrCpy $4 $1 $2
      ${If} $3 != "$PROGRAMFILES64\"
      ${AndIf} $4 != "$PROGRAMFILES32\"
        ${Break}
      ${EndIf}
      ${If} ${FileExists} "$INSTDIR\*.*"
        RMDir /REBOOTOK $1
      ${Else}
        RMDir $1
      ${EndIf}
    ${Loop}
  ${EndIf}
  ; %APPDATA%\Tavisto holds the user's configuration and stays.
SectionEnd
