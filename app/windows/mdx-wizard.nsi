; The Windows installer: the program folder under Program Files, a Start-menu entry with the
; program's icon, and an uninstaller listed in Apps & features.
; makensis -DVERSION=x.y.z -DSTAGE=<folder of the program> -DOUTFILE=<setup.exe>
;          -DFILES=<install.nsh> -DREMOVE=<uninstall.nsh>
; The two lists name each file the installer puts down, so the uninstaller removes only
; those, whichever folder the user chose.
Unicode true
Target amd64-unicode
!include "MUI2.nsh"
!include "x64.nsh"

Name "MDX Wizard ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\MDX Wizard"
InstallDirRegKey HKLM "Software\MDX Wizard" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MDX Wizard"
!define MUI_ICON "${STAGE}/mdx-wizard.ico"
!define MUI_UNICON "${STAGE}/mdx-wizard.ico"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetRegView 64
FunctionEnd

Section "MDX Wizard"
    !include "${FILES}"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    SetShellVarContext all
    CreateShortcut "$SMPROGRAMS\MDX Wizard.lnk" "$INSTDIR\mdx-wizard.exe" "" \
        "$INSTDIR\mdx-wizard.exe" 0
    WriteRegStr HKLM "Software\MDX Wizard" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "MDX Wizard"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\mdx-wizard.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\MDX Wizard.lnk"
    !include "${REMOVE}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\MDX Wizard"
SectionEnd
