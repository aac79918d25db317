; The Windows installer of Velvox: puts gen_velvox.dll into Winamp's Plugins
; folder and the default skin into a folder of its own beside it, writes the
; plug-in's settings when it has none yet, and registers an uninstaller.
;
; Built by the Windows build (packaging/windows/CMakeLists.txt) with Debian's
; makensis; the build passes:
;   VERSION    the project's version, e.g. 2.5 (top CMakeLists.txt)
;   VERSION4   the same with four parts, e.g. 2.5.0.0
;   COPYRIGHT  the copyright line
;   DLL        the gen_velvox.dll to install
;   SKIN_NSH   the generated list of the skin's files (macros VelvoxSkinFiles and
;              VelvoxSkinDeletes)
;   OUT        the installer to write
;   WIN64      (defined for the 64-bit build, which only the tests run)
;
; Command line of the installer: /S installs silently, /D=FOLDER (last, not
; quoted) names Winamp's folder. Exit status 0 installed, 2 refused (no Plugins
; folder there) or cancelled.

Unicode true
!ifdef WIN64
  Target amd64-unicode
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include "${SKIN_NSH}"

; The DLL's own version resource must say the project's version.
!getdllversion "${DLL}" dll_version_
!if "${dll_version_1}.${dll_version_2}.${dll_version_3}.${dll_version_4}" != "${VERSION4}"
  !error "gen_velvox.dll says version ${dll_version_1}.${dll_version_2}.${dll_version_3}.${dll_version_4}, the project ${VERSION4}"
!endif

!define SKIN_FOLDER "velvox-web"
!define UNINSTALLER "uninstall-velvox.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velvox"
; The settings file Winamp's plug-ins share, each with a section of its own.
!define SECTION "HTTP Request"
; The class of Winamp's main window, which Winamp's plug-ins have always looked for.
!define WINAMP_CLASS "Winamp v1.x"

Name "Velvox ${VERSION}"
Caption "Velvox ${VERSION} Setup"
UninstallCaption "Velvox ${VERSION} Uninstall"
OutFile "${OUT}"
; Winamp's own installer leaves its folder as this key's default value.
InstallDir "$PROGRAMFILES32\Winamp"
InstallDirRegKey HKCU "Software\Winamp" ""
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "Velvox ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "Velvox"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Velvox ${VERSION} setup: song requests over the web for Winamp"
VIAddVersionKey /LANG=1033 "CompanyName" "Tarnwick"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"

Var found_text   ; the directory page's words on where the folder came from
Var address      ; the address guests open, for the finish page

!define MUI_ABORTWARNING
!define MUI_PAGE_HEADER_TEXT "Winamp's folder"
!define MUI_PAGE_HEADER_SUBTEXT "Velvox goes into the Plugins folder of Winamp."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts the Velvox plug-in into the Plugins folder of Winamp. $found_text$\r$\n$\r$\nThe folder must be the one Winamp is installed in: it holds winamp.exe and a folder named Plugins."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Winamp folder"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckWinampFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Velvox is installed"
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_TEXT "Velvox is in Winamp's Plugins folder, switched off until you switch it on.$\r$\n$\r$\nTo switch it on, in Winamp: Preferences (Ctrl+P), Plug-ins, General Purpose; select $\"Velvox Plugin v${VERSION} (gen_velvox.dll)$\" and press Configure; clear the first box (it switches the plug-in off) and press OK.$\r$\n$\r$\nGuests then open $address in their browser (this computer's name; its address on your network works too). The pages come from $INSTDIR\Plugins\${SKIN_FOLDER}."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Asks the user to close Winamp while it runs: it keeps gen_velvox.dll in use,
; so the file could not be replaced or removed. Silent runs go on.
!macro WarnWhileWinampRuns
  FindWindow $0 "${WINAMP_CLASS}"
  ${If} $0 <> 0
    MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "Winamp is running. Please close it first: while it runs, Windows keeps gen_velvox.dll in use.$\r$\n$\r$\nPress OK once Winamp is closed, or Cancel to stop." /SD IDOK IDOK +2
    Quit
  ${EndIf}
!macroend

Function .onInit
  ReadRegStr $0 HKCU "Software\Winamp" ""
  ${If} $0 != ""
    StrCpy $found_text "Below is the folder Winamp's setup recorded."
  ${Else}
    StrCpy $found_text "Winamp's setup recorded no folder; below is the usual one."
  ${EndIf}
  !insertmacro WarnWhileWinampRuns
FunctionEnd

; Leaving the directory page: refuses a folder without Plugins.
Function CheckWinampFolder
  ${IfNot} ${FileExists} "$INSTDIR\Plugins\*.*"
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR has no Plugins folder, so it is not Winamp's folder.$\r$\n$\r$\nChoose the folder Winamp is installed in: the one with winamp.exe and a folder named Plugins."
    Abort
  ${EndIf}
FunctionEnd

; Sets $address from the computer's name and the port in the settings.
Function FindAddress
  ReadRegStr $0 HKLM "SYSTEM\CurrentControlSet\Control\ComputerName\ActiveComputerName" "ComputerName"
  ${If} $0 == ""
    StrCpy $0 "this-computer"
  ${EndIf}
  ReadINIStr $1 "$INSTDIR\Plugins\plugin.ini" "${SECTION}" "Port"
  ${If} $1 == ""
  ${OrIf} $1 == "80"
    StrCpy $address "http://$0/"
  ${Else}
    StrCpy $address "http://$0:$1/"
  ${EndIf}
FunctionEnd

Section "Velvox"
  ; Silent runs skip the directory page and its check.
  ${IfNot} ${FileExists} "$INSTDIR\Plugins\*.*"
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR has no Plugins folder, so it is not Winamp's folder: nothing was installed." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}

  SetOutPath "$INSTDIR\Plugins"
  File "/oname=gen_velvox.dll" "${DLL}"
  !insertmacro VelvoxSkinFiles "$INSTDIR\Plugins\${SKIN_FOLDER}"

  ; plugin.ini is shared by Winamp's plug-ins: our keys are written only while
  ; the file has no settings of ours, so a user's settings are never overwritten.
  ClearErrors
  ReadINIStr $0 "$INSTDIR\Plugins\plugin.ini" "${SECTION}" "WebRoot"
  ReadINIStr $1 "$INSTDIR\Plugins\plugin.ini" "${SECTION}" "bDisabled"
  ${If} $0 == ""
  ${AndIf} $1 == ""
    DetailPrint "Settings: the skin in $INSTDIR\Plugins\${SKIN_FOLDER}"
    WriteINIStr "$INSTDIR\Plugins\plugin.ini" "${SECTION}" "WebRoot" "$INSTDIR\Plugins\${SKIN_FOLDER}"
    WriteINIStr "$INSTDIR\Plugins\plugin.ini" "${SECTION}" "Playlistfile" "playlist.html"
  ${Else}
    DetailPrint "Settings: kept as they are in $INSTDIR\Plugins\plugin.ini"
  ${EndIf}
  Call FindAddress

  WriteUninstaller "$INSTDIR\Plugins\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Velvox ${VERSION} (Winamp plug-in)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Plugins\${UNINSTALLER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tarnwick"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "http://velvox.tarnwick.net/"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\Plugins"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\Plugins\${UNINSTALLER}$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\Plugins\${UNINSTALLER}$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  !insertmacro WarnWhileWinampRuns
FunctionEnd

; The uninstaller lies in Plugins, so $INSTDIR is that folder here. plugin.ini
; stays: it holds the user's settings, and other plug-ins' too.
Section "Uninstall"
  Delete "$INSTDIR\gen_velvox.dll"
  !insertmacro VelvoxSkinDeletes "$INSTDIR\${SKIN_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\${UNINSTALLER}"
SectionEnd
