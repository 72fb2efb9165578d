; The Windows installer of Vandrel: the two programs and the DLLs they load,
; the users' README.txt, LICENSE and the DLLs' licence texts, the .plit
; association, a Start-menu shortcut and an uninstaller. Per-user by default,
; for every user with /AllUsers, silent with /S.
;
; Built by packaging/CMakeLists.txt, which defines:
;   VERSION       e.g. 2.1
;   VERSION_QUAD  e.g. 2.1.0.0
;   GUI_EXE, CLI_EXE, README, LICENSE, ICON   files to ship
;   LIBRARY_FILES the file whose macros install and remove the DLLs and their licence texts
;   OUTFILE       the installer to write

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Vandrel"
!define PUBLISHER "The Vandrel authors"
!define PROGID "Vandrel.Piece.1"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vandrel"
!define CLASSES "Software\Classes"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT License, ${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"

; Per-user unless asked otherwise; an earlier install's folder is reused, so
; that installing over it upgrades in place.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include x64.nsh
!include "${LIBRARY_FILES}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Vandrel.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
; The uninstaller's title is "Vandrel 2.1 Uninstall" throughout. NSIS titles
; a page with the caption followed by the page's subcaption, which the modern
; pages make " ": so its pages set their title whole as they show, and the
; finished state, which has no callback after NSIS titles it, ends the caption
; with its subcaption.
!define UNINSTALL_TITLE "${PRODUCT} ${VERSION} Uninstall"
UninstallCaption "${PRODUCT} ${VERSION}"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.ShowUninstallTitle
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.ShowUninstallTitle
!insertmacro MUI_UNPAGE_INSTFILES
UninstallSubCaption 2 " Uninstall"
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs a 64-bit Windows."
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.ShowUninstallTitle
  SendMessage $HWNDPARENT ${WM_SETTEXT} 0 "STR:${UNINSTALL_TITLE}"
FunctionEnd

Function un.onInit
  SetRegView 64
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

; The switch that makes the uninstaller work on the hive the install used.
Function InstallModeSwitch
  ${If} $MultiUser.InstallMode == "AllUsers"
    Push "/AllUsers"
  ${Else}
    Push "/CurrentUser"
  ${EndIf}
FunctionEnd

Section "Vandrel" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=Vandrel.exe" "${GUI_EXE}"
  File "/oname=vandrel-cli.exe" "${CLI_EXE}"
  File "/oname=README.txt" "${README}"
  ; An earlier version installed the developers' README.md instead.
  Delete "$INSTDIR\README.md"
  File "/oname=LICENSE.txt" "${LICENSE}"
  !insertmacro InstallLibraryFiles
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Opening a piece joins its set.
  WriteRegStr SHCTX "${CLASSES}\.plit" "" "${PROGID}"
  WriteRegStr SHCTX "${CLASSES}\.plit\OpenWithProgids" "${PROGID}" ""
  WriteRegStr SHCTX "${CLASSES}\${PROGID}" "" "Vandrel piece"
  WriteRegStr SHCTX "${CLASSES}\${PROGID}" "FriendlyTypeName" "Vandrel piece"
  WriteRegStr SHCTX "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\Vandrel.exe,0"
  WriteRegStr SHCTX "${CLASSES}\${PROGID}\shell" "" "open"
  WriteRegStr SHCTX "${CLASSES}\${PROGID}\shell\open" "" "&Join the pieces"
  WriteRegStr SHCTX "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\Vandrel.exe" "%1"'
  ; A second verb beside the join: check the pieces against their list, changing nothing.
  ; It goes with the ProgID's key on uninstall.
  WriteRegStr SHCTX "${CLASSES}\${PROGID}\shell\verify" "" "&Check pieces"
  WriteRegStr SHCTX "${CLASSES}\${PROGID}\shell\verify\command" "" '"$INSTDIR\Vandrel.exe" /verify "%1"'
  ; SHCNE_ASSOCCHANGED, SHCNF_IDLIST: Explorer picks up the new icon and verb.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  CreateShortcut "$SMPROGRAMS\Vandrel.lnk" "$INSTDIR\Vandrel.exe" "" "$INSTDIR\Vandrel.exe" 0

  Call InstallModeSwitch
  Pop $0
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vandrel.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" $0 /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  IntFmt $1 "0x%08X" $1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\Vandrel.exe"
  Delete "$INSTDIR\vandrel-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  !insertmacro RemoveLibraryFiles
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: the user's own files stay.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Vandrel.lnk"

  ; .plit is left alone when another program has taken it over since.
  ReadRegStr $0 SHCTX "${CLASSES}\.plit" ""
  ${If} $0 == "${PROGID}"
    DeleteRegValue SHCTX "${CLASSES}\.plit" ""
  ${EndIf}
  DeleteRegValue SHCTX "${CLASSES}\.plit\OpenWithProgids" "${PROGID}"
  DeleteRegKey /IfEmpty SHCTX "${CLASSES}\.plit\OpenWithProgids"
  DeleteRegKey /IfEmpty SHCTX "${CLASSES}\.plit"
  DeleteRegKey SHCTX "${CLASSES}\${PROGID}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
