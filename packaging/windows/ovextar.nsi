; The Windows installer of ovextar-cli: the exe and its documentation under Program Files,
; a Start-menu entry for the documentation, an uninstaller that removes all of it.
; scripts/ovx windows builds it:
;   makensis -DVERSION=1.2.0 -DSTAGE=DIR -DOUTFILE=FILE packaging/windows/ovextar.nsi
; STAGE holds ovextar-cli.exe, README.txt, README-Windows.txt and, where there is one,
; LICENSE.txt (then also -DLICENSE).

!ifndef VERSION | STAGE | OUTFILE
  !error "VERSION, STAGE and OUTFILE are given by scripts/ovx windows"
!endif

Unicode true
; A 64-bit installer: a 32-bit one would put the 64-bit exe under "Program Files (x86)".
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ovextar"
!define MENU_DIR "$SMPROGRAMS\ovextar"

Name "ovextar ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\ovextar"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "ovextar"
VIAddVersionKey /LANG=0 "FileDescription" "ovextar ${VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "the ovextar developers"

!ifdef LICENSE
Page license
LicenseData "${STAGE}\LICENSE.txt"
!endif
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "ovextar-cli"
  SetShellVarContext all
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${STAGE}\ovextar-cli.exe"
  File "${STAGE}\README.txt"
  File "${STAGE}\README-Windows.txt"
!ifdef LICENSE
  File "${STAGE}\LICENSE.txt"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU_DIR}"
  CreateShortCut "${MENU_DIR}\ovextar-cli on Windows.lnk" "$INSTDIR\README-Windows.txt"
  CreateShortCut "${MENU_DIR}\ovextar README.lnk" "$INSTDIR\README.txt"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "ovextar"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "the ovextar developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ovextar-cli.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there by name, never the folder's other files: a user's
; measurement or parameter file left in it keeps the folder.
Section "Uninstall"
  SetShellVarContext all
  SetRegView 64
  Delete "$INSTDIR\ovextar-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\README-Windows.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${MENU_DIR}\ovextar-cli on Windows.lnk"
  Delete "${MENU_DIR}\ovextar README.lnk"
  RMDir "${MENU_DIR}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
