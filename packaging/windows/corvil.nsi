; The Windows installer: corvhid.dll and Corvil Switcher with a Start-menu
; entry, the FathomLive plug-in Corvil.dll with its class registered, a short
; user guide, and, on request, the tools for trying it all without a unit or
; the analyser. The 64-bit and the 32-bit installations live side by side:
; each has its own folder, uninstaller entry and Start-menu folder. Made by
; makensis with:
;   /DARCH=x64|x86 /DBIN=<folder of the main archive's files> /DTOOLS=<folder of the tools'>
;   /DICONS=<folder of the programs' icons> /DVERSION=<x.y.z> /DOUT=<installer file>
Unicode true
!include Sections.nsh
!include FileFunc.nsh
!if ${ARCH} == "x64"
  Target amd64-unicode
  !define PROGRAMS "$PROGRAMFILES64"
  !define VIEW 64
  !define BITS "64-bit"
!else
  Target x86-unicode
  !define PROGRAMS "$PROGRAMFILES32"
  !define VIEW 32
  !define BITS "32-bit"
!endif

!define PRODUCT "Corvil (${BITS})"
!define CLASS_KEY "CLSID\{2496CF40-DD25-11d6-9D58-AA45F1D0DE0A}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvil-${ARCH}"
!define MENU "$SMPROGRAMS\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUT}"
InstallDir "${PROGRAMS}\Tolvane\Corvil"
; Run again, the setup updates the installation where it is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
Icon "${ICONS}\corvil-switcher.ico"
UninstallIcon "${ICONS}\corvil-switcher.ico"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Corvil"
VIAddVersionKey "CompanyName" "Tolvane"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) Tolvane"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Corvil Switcher and the corvhid library" SecSwitcher
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${BIN}\corvhid.dll"
  File "${BIN}\Corvil Switcher.exe"
  File "${BIN}\corvil-remote.exe"
  File "${BIN}\README.txt"
  File "${BIN}\LICENSE.txt"
  CreateDirectory "${MENU}"
  CreateShortcut "${MENU}\Corvil Switcher.lnk" "$INSTDIR\Corvil Switcher.exe"
  CreateShortcut "${MENU}\Corvil Remote.lnk" "$INSTDIR\corvil-remote.exe"
  CreateShortcut "${MENU}\Read me.lnk" "$INSTDIR\README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Tolvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Corvil Switcher.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "FathomLive plug-in (Corvil.dll)" SecPlugin
  SetOutPath "$INSTDIR"
  File "${BIN}\Corvil.dll"
SectionEnd

Section /o "Tools: fathom-host, its stand-in FMLOG.dll, corvil-emulator, corvilctl" SecTools
  SetOutPath "$INSTDIR"
  File "${TOOLS}\fathom-host.exe"
  File "${TOOLS}\FMLOG.dll"
  File "${TOOLS}\corvil-emulator.exe"
  File "${TOOLS}\corvilctl.exe"
  CreateShortcut "${MENU}\fathom-host.lnk" "$INSTDIR\fathom-host.exe"
SectionEnd

; The plug-in's class, written here with exactly the values its own
; DllRegisterServer writes (a description, and the server's full path, no
; threading model), in the registry view of the plug-in's bitness: so the
; analyser finds it whatever was installed first, and nothing needs to load
; the plug-in (which binds the analyser's FMLOG.dll) to register it.
Section "-Register the plug-in"
  SectionGetFlags ${SecPlugin} $0
  IntOp $0 $0 & ${SF_SELECTED}
  IntCmp $0 0 done
  WriteRegStr HKCR "${CLASS_KEY}" "" "Fathom EQ for Tolvane Corvil"
  WriteRegStr HKCR "${CLASS_KEY}\InprocServer32" "" "$INSTDIR\Corvil.dll"
  done:
SectionEnd

; What the installation takes, for Apps & features (in KiB).
Section "-Size"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; For every user of the machine: Program Files, the common Start menu. An
; installation being updated keeps its tools.
Function .onInit
  SetRegView ${VIEW}
  SetShellVarContext all
  IfFileExists "$INSTDIR\fathom-host.exe" 0 +2
    SectionSetFlags ${SecTools} ${SF_SELECTED}
FunctionEnd

Function un.onInit
  SetRegView ${VIEW}
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  ; The plug-in's class, if this installation registered it.
  ReadRegStr $0 HKCR "${CLASS_KEY}\InprocServer32" ""
  StrCmp $0 "$INSTDIR\Corvil.dll" 0 +2
    DeleteRegKey HKCR "${CLASS_KEY}"
  Delete "$INSTDIR\corvhid.dll"
  Delete "$INSTDIR\Corvil Switcher.exe"
  Delete "$INSTDIR\corvil-remote.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Corvil.dll"
  Delete "$INSTDIR\fathom-host.exe"
  Delete "$INSTDIR\FMLOG.dll"
  Delete "$INSTDIR\corvil-emulator.exe"
  Delete "$INSTDIR\corvilctl.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$INSTDIR\.."
  Delete "${MENU}\Corvil Switcher.lnk"
  Delete "${MENU}\Corvil Remote.lnk"
  Delete "${MENU}\Read me.lnk"
  Delete "${MENU}\fathom-host.lnk"
  RMDir "${MENU}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
