; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer: the folder scripts/build-windows lays out, under Program Files, with a
; Start-menu entry, an entry in the system's list of programs and .vxa files opened by the window.
; makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DDIST=folder -DICON=file.ico -DLICENCE=file
;          -DOUTFILE=setup.exe vexa-setup.nsi
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include FileFunc.nsh
!include x64.nsh

; The install folder keeps its name, for installs already made.
!define APP "VEXA Setup"
!define PRODUCT "VEXA Module Setup"
!define MENU_NAME "Настройка модуля VEXA"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\vexa-setup"
!define FILE_CLASS "VexaSetup.Settings"

Name "${MENU_NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileDescription" "${MENU_NAME}: установка"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "GPL-3.0-or-later"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
  ; 64-bit programs: the 64-bit view of the registry and of Program Files.
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File /r "${DIST}/*.*"
  File "/oname=vexa_setup.ico" "${ICON}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${MENU_NAME}.lnk" "$INSTDIR\vexa_setup.exe" "" "$INSTDIR\vexa_setup.ico"

  WriteRegStr HKLM "Software\Classes\.vxa" "" "${FILE_CLASS}"
  WriteRegStr HKLM "Software\Classes\${FILE_CLASS}" "" "Настройки модуля VEXA"
  WriteRegStr HKLM "Software\Classes\${FILE_CLASS}\DefaultIcon" "" "$INSTDIR\vexa_setup.ico"
  WriteRegStr HKLM "Software\Classes\${FILE_CLASS}\shell\open\command" "" '"$INSTDIR\vexa_setup.exe" "%1"'

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${MENU_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vexa_setup.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Explorer shows the new file type's icon without a restart.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${MENU_NAME}.lnk"
  ; .vxa is given back only while it is still ours (another program may have taken it since).
  ReadRegStr $0 HKLM "Software\Classes\.vxa" ""
  StrCmp $0 "${FILE_CLASS}" 0 +2
    DeleteRegValue HKLM "Software\Classes\.vxa" ""
  DeleteRegKey /ifempty HKLM "Software\Classes\.vxa"
  DeleteRegKey HKLM "Software\Classes\${FILE_CLASS}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The installed files by name (the list scripts/build-windows lays out): what the user put in the
  ; folder is not ours to delete.
  Delete "$INSTDIR\vexa_setup.exe"
  Delete "$INSTDIR\vexa_cli.exe"
  Delete "$INSTDIR\Qt6Core.dll"
  Delete "$INSTDIR\Qt6Gui.dll"
  Delete "$INSTDIR\Qt6Widgets.dll"
  Delete "$INSTDIR\Qt6Charts.dll"
  Delete "$INSTDIR\libgcc_s_seh-1.dll"
  Delete "$INSTDIR\libstdc++-6.dll"
  Delete "$INSTDIR\libwinpthread-1.dll"
  Delete "$INSTDIR\platforms\qwindows.dll"
  Delete "$INSTDIR\styles\qwindowsvistastyle.dll"
  Delete "$INSTDIR\vexa_setup.ico"
  Delete "$INSTDIR\docs\guide.md"
  Delete "$INSTDIR\docs\guide.en.md"
  Delete "$INSTDIR\docs\images\en\*.png"
  RMDir "$INSTDIR\docs\images\en"
  Delete "$INSTDIR\docs\images\*.png"
  RMDir "$INSTDIR\docs\images"
  RMDir "$INSTDIR\docs"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\platforms"
  RMDir "$INSTDIR\styles"
  RMDir "$INSTDIR"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
