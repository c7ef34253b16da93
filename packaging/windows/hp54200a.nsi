; The Windows installer of the HP 54200A operator's screen: installs the folder that
; scripts/build-windows.sh gathers (build-windows/dist) into Program Files, per machine.
;
; scripts/build-windows.sh runs makensis with these definitions (all paths absolute):
;   VERSION    the CMake project version, x.y.z
;   DIST       the folder to install (build-windows/dist)
;   FILES      an include file of SetOutPath/File lines, one File per file of DIST
;   UNFILES    an include file of Delete/RMDir lines removing those files and their folders
;   SIZE_KB    the installed size in KiB, for Programs and Features
;   OUTFILE    the installer to write
;   ICON       optional: an .ico for the installer, the uninstaller and the shortcuts
; The file lists are generated at build time, so whatever DLLs and plugin folders the dist
; folder holds are installed, and the uninstaller removes exactly those files.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION
  !error "makensis -DVERSION=x.y.z is missing"
!endif
!ifndef DIST
  !error "makensis -DDIST=<dist folder> is missing"
!endif
!ifndef FILES
  !error "makensis -DFILES=<generated file list> is missing"
!endif
!ifndef UNFILES
  !error "makensis -DUNFILES=<generated removal list> is missing"
!endif
!ifndef SIZE_KB
  !define SIZE_KB 0
!endif
!ifndef OUTFILE
  !define OUTFILE "hp54200a-${VERSION}-win64-setup.exe"
!endif

!define PRODUCT "HP 54200A"
!define PUBLISHER "HP 54200A operator's screen developers"
!define EXE "hp54200a.exe"
!define REGKEY "Software\hp54200a"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\hp54200a"
!define MENUDIR "$SMPROGRAMS\${PRODUCT}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${REGKEY}" "InstallDir"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT} operator's screen"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} operator's screen installer"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${PRODUCT} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Install"
  ; An earlier installation in the same folder is uninstalled first (in place, waiting for it),
  ; so files that this version no longer ships do not stay behind.
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    DetailPrint "Removing the earlier installation in $INSTDIR"
    ExecWait '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
    Delete "$INSTDIR\Uninstall.exe"
  ${EndIf}

  !include "${FILES}"

  SetOutPath "$INSTDIR"
!ifdef ICON
  File "/oname=hp54200a.ico" "${ICON}"
  !define SHORTCUT_ICON "$INSTDIR\hp54200a.ico"
!else
  !define SHORTCUT_ICON "$INSTDIR\${EXE}"
!endif
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The shortcuts start the program in the user's Documents folder, where the metafile
  ; vistrel.wmf is written (the program writes it into its current folder, and Program Files is
  ; not writable for users). The shell expands the variable when the shortcut is opened; $OUTDIR
  ; is set directly, as SetOutPath would make a folder of that name.
  StrCpy $OUTDIR "%USERPROFILE%\Documents"
  CreateDirectory "${MENUDIR}"
  CreateShortcut "${MENUDIR}\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "--choose-connection" \
    "${SHORTCUT_ICON}" 0 SW_SHOWNORMAL "" "Display and control an HP 54200A oscilloscope over GPIB"
  CreateShortcut "${MENUDIR}\${PRODUCT} (simulated scope).lnk" "$INSTDIR\${EXE}" \
    "--resource SIM::5::INSTR" "${SHORTCUT_ICON}" 0 SW_SHOWNORMAL "" \
    "The operator's screen on the simulated HP 54200A"

  WriteRegStr HKLM "${REGKEY}" "InstallDir" "$INSTDIR"

  ; The program's text files go to the fixed folder c:\junk, which must exist: made here when
  ; missing (users may write in it, as in any folder made at the root of C:), and remembered,
  ; so that the uninstaller removes it again when nothing is left in it.
  ${IfNot} ${FileExists} "C:\junk\*.*"
    CreateDirectory "C:\junk"
    WriteRegDWORD HKLM "${REGKEY}" "MadeDataFolder" 1
  ${EndIf}
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${PRODUCT} operator's screen"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "${SHORTCUT_ICON}"
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
  Delete "${MENUDIR}\${PRODUCT}.lnk"
  Delete "${MENUDIR}\${PRODUCT} (simulated scope).lnk"
  RMDir "${MENUDIR}"

  !include "${UNFILES}"
  Delete "$INSTDIR\hp54200a.ico"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: files someone else put there stay.
  RMDir "$INSTDIR"

  ReadRegDWORD $0 HKLM "${REGKEY}" "MadeDataFolder"
  ${If} $0 == 1
    RMDir "C:\junk"
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTKEY}"
  DeleteRegKey HKLM "${REGKEY}"
  ; The connection the Connection dialog saved, for the user who uninstalls.
  DeleteRegKey HKCU "${REGKEY}"
SectionEnd
