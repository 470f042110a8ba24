; The customer's installer of Kalvoran Downloader, made by make_packages.cmake:
;   makensis -INPUTCHARSET UTF8 -DVERSION=2.0 -DVERSION4=2.0.0.0 -DVENDOR=...
;     -DHOMEPAGE=... -DSERVERS=... -DSTAGE=<folder with the program and texts>
;     -DICON=<icon.ico> -DOUTFILE=<installer.exe> [-DSIGN=<command on %1>]
; For the user alone, without administrator rights, into the user's own
; programs folder; a Start-menu shortcut that starts the program in the
; user's Downloads folder (it saves under its working folder); an entry in
; the user's list of installed programs. A later version replaces an
; earlier one: the same folder, shortcut and entry.
Unicode true
; A 64-bit installer: the 32-bit stub needs the WOW64 layer, which a
; 64-bit-only Windows lacks (it fails there, and still exits 0).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define PRODUCT "Kalvoran Downloader"
!define PROGRAM "kalvoran-downloader.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define LINK "$SMPROGRAMS\${PRODUCT}.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; Where an earlier version went, if the user moved it.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!ifdef SIGN
!uninstfinalize '${SIGN}' = 0
!finalize '${SIGN}' = 0
!endif

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=0 "CompanyName" "${VENDOR}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${VENDOR}"

!include MUI2.nsh
!include LogicLib.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "$(Welcome)"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The pages speak the system's language when it is one of these; English
; (the first) otherwise.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "Slovak"
!insertmacro MUI_LANGUAGE "Czech"

LangString Welcome ${LANG_ENGLISH} "Setup installs ${PRODUCT} ${VERSION} from ${VENDOR} for you alone; it needs no administrator rights.$\r$\n$\r$\nThe program downloads the content packages you bought from the servers of ${VENDOR}:$\r$\n${SERVERS}$\r$\n$\r$\nStarted from the Start menu, it saves them in the folder ${PRODUCT} in your Downloads folder."
LangString Welcome ${LANG_GERMAN} "Der Assistent installiert ${PRODUCT} ${VERSION} von ${VENDOR} nur für Sie; Administratorrechte sind nicht nötig.$\r$\n$\r$\nDas Programm lädt die gekauften Inhaltspakete von den Servern von ${VENDOR}:$\r$\n${SERVERS}$\r$\n$\r$\nAus dem Startmenü gestartet, speichert es sie im Ordner ${PRODUCT} in Ihrem Ordner Downloads."
LangString Welcome ${LANG_SLOVAK} "Sprievodca nainštaluje ${PRODUCT} ${VERSION} od ${VENDOR} len pre vás; práva správcu nie sú potrebné.$\r$\n$\r$\nProgram sťahuje zakúpené balíky obsahu zo serverov ${VENDOR}:$\r$\n${SERVERS}$\r$\n$\r$\nSpustený z ponuky Štart ich ukladá do priečinka ${PRODUCT} vo vašom priečinku Stiahnuté súbory."
LangString Welcome ${LANG_CZECH} "Průvodce nainstaluje ${PRODUCT} ${VERSION} od ${VENDOR} jen pro vás; práva správce nejsou potřeba.$\r$\n$\r$\nProgram stahuje zakoupené balíčky obsahu ze serverů ${VENDOR}:$\r$\n${SERVERS}$\r$\n$\r$\nSpuštěný z nabídky Start je ukládá do složky ${PRODUCT} ve vaší složce Stažené soubory."
LangString CloseFirst ${LANG_ENGLISH} "${PRODUCT} is running. Close it, then try again."
LangString CloseFirst ${LANG_GERMAN} "${PRODUCT} läuft. Schließen Sie es und versuchen Sie es erneut."
LangString CloseFirst ${LANG_SLOVAK} "${PRODUCT} je spustený. Zatvorte ho a skúste to znova."
LangString CloseFirst ${LANG_CZECH} "${PRODUCT} je spuštěný. Zavřete ho a zkuste to znovu."
LangString LinkComment ${LANG_ENGLISH} "Download the content packages you bought"
LangString LinkComment ${LANG_GERMAN} "Gekaufte Inhaltspakete herunterladen"
LangString LinkComment ${LANG_SLOVAK} "Stiahnuť zakúpené balíky obsahu"
LangString LinkComment ${LANG_CZECH} "Stáhnout zakoupené balíčky obsahu"

; $0: the user's Downloads folder (the known folder, wherever the user
; moved it), else Downloads in the user's profile.
!macro DOWNLOADS_FOLDER
  System::Call 'shell32::SHGetKnownFolderPath(g "{374DE290-123F-4565-9164-39C4925E467B}", i 0, p 0, *p .r1) i .r0'
  ${If} $0 = 0
    System::Call '*$1(&w${NSIS_MAX_STRLEN} .r0)'
  ${Else}
    StrCpy $0 "$PROFILE\Downloads"
  ${EndIf}
  System::Call 'ole32::CoTaskMemFree(p r1)'
!macroend

; A running program keeps its file (and a job its download) open: it is
; closed by the user, never by us. Silently, the installer gives up.
!macro PROGRAM_CLOSED
  ${Do}
    FindWindow $3 "KalvoranDownloader"
    ${If} $3 = 0
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(CloseFirst)" /SD IDCANCEL IDRETRY +2
    Abort
  ${Loop}
!macroend

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Function StartProgram
  !insertmacro DOWNLOADS_FOLDER
  SetOutPath "$0"
  Exec '"$INSTDIR\${PROGRAM}"'
FunctionEnd

Section
  !insertmacro PROGRAM_CLOSED
  ; An earlier version in another folder goes first: one copy, one entry.
  ReadRegStr $2 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $2 != ""
  ${AndIf} $2 != $INSTDIR
  ${AndIf} ${FileExists} "$2\uninstall.exe"
    ExecWait '"$2\uninstall.exe" /S _?=$2'
    Delete "$2\uninstall.exe"
    RMDir "$2"
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}\${PROGRAM}"
  File "${STAGE}\README.txt"
  File "${STAGE}\copyright.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut's working folder is the one it is made in.
  !insertmacro DOWNLOADS_FOLDER
  SetOutPath "$0"
  CreateShortcut "${LINK}" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0 SW_SHOWNORMAL "" "$(LinkComment)"
  SetOutPath "$INSTDIR"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${VENDOR}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

; The program, its shortcut and its entry; never the user's downloads (a
; folder the program saved into, when started in its own folder, stays with
; the folder around it).
Section "Uninstall"
  !insertmacro PROGRAM_CLOSED
  Delete "${LINK}"
  Delete "$INSTDIR\${PROGRAM}"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\copyright.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The program's own settings (the language chosen last).
  DeleteRegKey HKCU "Software\Kalvoran\${PRODUCT}"
  DeleteRegKey /ifempty HKCU "Software\Kalvoran"
SectionEnd
