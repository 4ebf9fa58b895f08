# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows installer: melvigil.exe and melvigil-cli.exe (both static, no DLLs beside them),
# a start-menu shortcut, an entry under "Programs and Features" and an uninstaller.
# makensis -DVERSION=x.y.z -DMELVIGIL_EXE=... -DMELVIGIL_CLI_EXE=... -DLICENSE_FILE=...
#          -DOUTFILE=... melvigil.nsi
# Silent use: setup.exe /S [/D=C:\folder]   and   uninstall.exe /S
# The programs are x86-64, and so is the installer (it runs where they run).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define APP "Melvigil"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
LoadLanguageFile "${NSISDIR}\Contrib\Language files\SimpChinese.nlf"
LicenseLangString license 0 "${LICENSE_FILE}"
LicenseData $(license)
Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${APP}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${APP} setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "GPL-3.0-or-later"

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "/oname=melvigil.exe" "${MELVIGIL_EXE}"
  File "/oname=melvigil-cli.exe" "${MELVIGIL_CLI_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\${APP}"
  CreateShortcut "$SMPROGRAMS\${APP}\${APP}.lnk" "$INSTDIR\melvigil.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\melvigil.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  # Only what the installer put there: files the user added to the folder stay.
  Delete "$INSTDIR\melvigil.exe"
  Delete "$INSTDIR\melvigil-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP}\${APP}.lnk"
  RMDir "$SMPROGRAMS\${APP}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
