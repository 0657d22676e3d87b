; The Windows installer, made with makensis by scripts/windows-package, which passes:
;   VERSION         the program's version (1.2.3)
;   OUTFILE         the installer to write
;   FILES_NSH       the generated lines that install the package's files (File ...)
;   UNFILES_NSH     the generated lines that remove exactly those files again (Delete, RMDir)
;   ESTIMATED_SIZE  the installed size in KiB, for the entry in "Apps"
;   ICON            the program's icon (app/images/katalogkonverter.ico), also the installer's
;   WELCOME_BITMAP  the picture beside the first and the last page (164 x 314, the program's)
; Installs for all users into the 64-bit program files folder, with a Start-menu folder and an
; uninstaller registered in the registry. The uninstaller removes what was installed and nothing
; else: the user's catalogs never, the settings file only when chosen on its components page.

; A 64-bit installer for a 64-bit program (and Wine without its 32-bit half runs it).
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh

!define PRODUCT "Katalogkonverter"
!define PUBLISHER "Katalogkonverter-Entwickler"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\katalogkonverter"
!define UNINSTALLER "uninstall.exe"
!define STARTMENU_DIR "$SMPROGRAMS\${PRODUCT}"
; The settings file the program keeps in the user's application data folder.
!define SETTINGS_FILE "katalogkonverter.ini"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WELCOME_BITMAP}"
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

; The last page offers to start the program, ticked.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "${PRODUCT} starten"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
; What the settings are stands above the list, where it has room; the list's names stay short.
; Removing needs no space: the line that would say so goes.
!define MUI_COMPONENTSPAGE_TEXT_TOP "Wählen Sie, was entfernt werden soll. „Eigene Einstellungen“ ist die Datei ${SETTINGS_FILE} im Ordner %APPDATA%, mit Fensterposition, Stammverzeichnis und Katalogname. Konvertierte Kataloge bleiben immer erhalten."
!define MUI_COMPONENTSPAGE_TEXT_COMPLIST "Zu entfernen:"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.HideSpaceRequired
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "German"

VIAddVersionKey /LANG=${LANG_GERMAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_GERMAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileDescription" "${PRODUCT} ${VERSION} – Installation"
VIAddVersionKey /LANG=${LANG_GERMAN} "LegalCopyright" "MIT-Lizenz, © ${PUBLISHER}"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; With the rights of the user who is logged on, not the installer's administrator rights (its
; settings would otherwise be another account's): the Explorer, which runs as that user, starts it.
Function StartProgram
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\katalogkonverter.exe"'
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  !include "${FILES_NSH}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "${STARTMENU_DIR}"
  CreateShortCut "${STARTMENU_DIR}\${PRODUCT}.lnk" "$INSTDIR\katalogkonverter.exe" "" \
    "$INSTDIR\katalogkonverter.exe" 0 SW_SHOWNORMAL "" "Plattenkataloge nach SQLite konvertieren"
  CreateShortCut "${STARTMENU_DIR}\${PRODUCT} – Hinweise.lnk" "$INSTDIR\katalogkonverter.html" "" \
    "" 0 SW_SHOWNORMAL "" "Hinweise zum Katalogkonverter"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\katalogkonverter.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${ESTIMATED_SIZE}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "un.${PRODUCT}" SecUnProgram
  SectionIn RO
  Delete "${STARTMENU_DIR}\${PRODUCT}.lnk"
  Delete "${STARTMENU_DIR}\${PRODUCT} – Hinweise.lnk"
  RMDir "${STARTMENU_DIR}"

  !include "${UNFILES_NSH}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only when empty: whatever the user put there stays.
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Function un.HideSpaceRequired
  ShowWindow $mui.ComponentsPage.SpaceRequired ${SW_HIDE}
FunctionEnd

; Off unless chosen: the settings of the user who uninstalls.
Section /o "un.Eigene Einstellungen" SecUnSettings
  SetShellVarContext current
  Delete "$APPDATA\${SETTINGS_FILE}"
  SetShellVarContext all
SectionEnd
