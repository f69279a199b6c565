; The Velkor installer: a per-user install that needs no administrator, a
; Start menu entry with the program's icon, and an uninstaller. The data
; folder (%LOCALAPPDATA%\Velkor: the step table, the records) is the
; operator's and stays when the program is removed.
;
; makensis -DVERSION=1.0 -DSTAGE=<the installed program folder>
;          -DOUTFILE=<setup.exe> -DUNINSTALLER=<uninstaller's name> velkor.nsi

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"

Name "Velkor ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Velkor"
InstallDirRegKey HKCU "Software\Velkor" "InstallDir"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velkor"
!define MUI_ICON "${STAGE}/vk-7100-2.ico"
!define MUI_UNICON "${STAGE}/vk-7100-2.ico"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

Section
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    WriteRegStr HKCU "Software\Velkor" "InstallDir" "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\Velkor.lnk" "$INSTDIR\velkor.exe" "" "$INSTDIR\vk-7100-2.ico"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velkor"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Velkor"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vk-7100-2.ico"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there goes: a folder the operator chose may
; hold files of their own.
Section "Uninstall"
    Delete "$SMPROGRAMS\Velkor.lnk"
    Delete "$INSTDIR\velkor.exe"
    Delete "$INSTDIR\velkor-console.exe"
    Delete "$INSTDIR\vk-7100-2.ico"
    Delete "$INSTDIR\Qt6*.dll"
    Delete "$INSTDIR\libstdc++-6.dll"
    Delete "$INSTDIR\libgcc_s_seh-1.dll"
    Delete "$INSTDIR\libwinpthread-1.dll"
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\sqldrivers"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\imageformats"
    Delete "$INSTDIR\${UNINSTALLER}"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "Software\Velkor"
SectionEnd
