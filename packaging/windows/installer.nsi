; The Windows installer of Tessavin Server: per user, no administrator,
; starts the service at login and now, upgrades in place, uninstalls cleanly.
; Built by scripts/tools/windows-installer, which passes:
;   EXE       the TessavinServer.exe to install
;   VERSION   its version, as its ping reports it
;   VIVERSION the same as four numbers, for the installer's own version resource
;   HELPER    TessavinSetup.exe (src/setup/win32), run from the temporary folder
;   OUTFILE   the installer to write
Unicode true
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma

!ifndef EXE | VERSION | VIVERSION | HELPER | OUTFILE
  !error "Build with scripts/tools/windows-installer EXE VERSION HELPER OUTFILE"
!endif

!define PRODUCT "Tessavin Server"
!define PUBLISHER "Zelvo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TessavinServer"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Everything the service writes lies beside its exe, and the self-update
; replaces the exe in place: the folder must be the user's own.
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade goes where the installed copy is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VIVERSION}"
VIFileVersion "${VIVERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

Var Upgrading   ; "1" when an installed copy is found
Var FinishText  ; what the finish page says about the start
Var Port

!define MUI_ABORTWARNING
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipDirectoryOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$FinishText"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one used where the system's is neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!include "messages.nsh"

Function .onInit
  StrCpy $Upgrading ""
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\TessavinServer.exe"
    StrCpy $Upgrading "1"
  ${EndIf}
FunctionEnd

Function SkipDirectoryOnUpgrade
  ${If} $Upgrading == "1"
    Abort
  ${EndIf}
FunctionEnd

; Runs the helper with one command on the install folder; its exit code in $0.
!macro Helper COMMAND
  ExecWait '"$PLUGINSDIR\TessavinSetup.exe" ${COMMAND} "$INSTDIR"' $0
!macroend

Section "-Install"
  SetOutPath "$INSTDIR"
  InitPluginsDir
  File "/oname=$PLUGINSDIR\TessavinSetup.exe" "${HELPER}"

  ; A swap the self-update left half done must not later move its download
  ; over the build installed now.
  Delete "$INSTDIR\TessavinServer-update.bat"
  Delete "$INSTDIR\TessavinServer-new.exe"
  ; Only the copy that runs from this folder; one run from elsewhere stays.
  DetailPrint "$(MsgStopping)"
  !insertmacro Helper stop
  ${If} $0 != 0
    MessageBox MB_ICONSTOP "$(MsgNotStopped)" /SD IDOK
    Abort "$(MsgNotStopped)"
  ${EndIf}

  ; A process's exe can stay locked a moment after the process has ended
  ; (a virus scanner looking at it, say): wait up to ten seconds for it.
  ${If} ${FileExists} "$INSTDIR\TessavinServer.exe"
    StrCpy $2 0
    ${Do}
      ClearErrors
      FileOpen $1 "$INSTDIR\TessavinServer.exe" a
      ${IfNot} ${Errors}
        FileClose $1
        ${Break}
      ${EndIf}
      IntOp $2 $2 + 1
      ${If} $2 >= 20
        ${Break}
      ${EndIf}
      Sleep 500
    ${Loop}
  ${EndIf}
  File "/oname=TessavinServer.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; Quoted: the path holds a space, and may hold more in the user's name.
  WriteRegStr HKCU "${RUN_KEY}" "TessavinServer" '"$INSTDIR\TessavinServer.exe"'

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TessavinServer.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; The program's own files, in KiB; the documents and music are the user's.
  ${GetSize} "$INSTDIR" "/M=*.exe /S=0K /G=0" $1 $2 $3
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Section "-Start"
  DetailPrint "$(MsgStarting)"
  !insertmacro Helper start
  ${Select} $0
    ${Case} 0
      ClearErrors
      FileOpen $1 "$INSTDIR\service_port.txt" r
      FileRead $1 $Port 5
      FileClose $1
      StrCpy $FinishText "$(MsgRunning)"
      DetailPrint "$FinishText"
    ${Case} 2
      StrCpy $FinishText "$(MsgNoFreePort)"
    ${Case} 3
      StrCpy $FinishText "$(MsgAnotherCopy)"
    ${Case} 5
      StrCpy $FinishText "$(MsgNotStarted)"
    ${CaseElse}
      StrCpy $FinishText "$(MsgNoAnswer)"
  ${EndSelect}
  ${If} $0 != 0
    DetailPrint "$FinishText"
    MessageBox MB_ICONEXCLAMATION "$FinishText" /SD IDOK
  ${EndIf}
SectionEnd

; --- The uninstaller

Section "-un.Program"
  InitPluginsDir
  File "/oname=$PLUGINSDIR\TessavinSetup.exe" "${HELPER}"
  Delete "$INSTDIR\TessavinServer-update.bat"
  Delete "$INSTDIR\TessavinServer-new.exe"
  DetailPrint "$(MsgStopping)"
  !insertmacro Helper stop
  ${If} $0 != 0
    MessageBox MB_ICONSTOP "$(MsgNotStopped)" /SD IDOK
    Abort "$(MsgNotStopped)"
  ${EndIf}
  Delete "$INSTDIR\TessavinServer.exe"
  Delete "$INSTDIR\TessavinServer-update.txt"
  Delete "$INSTDIR\service_port.txt"
  Delete "$INSTDIR\${UNINSTALLER}"

  ; The Run entry only while it still starts this copy: one the user has
  ; since pointed at a copy elsewhere stays.
  ReadRegStr $1 HKCU "${RUN_KEY}" "TessavinServer"
  ${If} $1 == '"$INSTDIR\TessavinServer.exe"'
    DeleteRegValue HKCU "${RUN_KEY}" "TessavinServer"
  ${EndIf}
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Off unless ticked, or /REMOVEDATA on the command line.
Section /o "un.$(SectionData)" SectionData
  DetailPrint "$(MsgRemovingData)"
  !insertmacro Helper remove-data
  ${If} $0 != 0
    DetailPrint "$(MsgDataNotRemoved)"
    MessageBox MB_ICONEXCLAMATION "$(MsgDataNotRemoved)" /SD IDOK
  ${EndIf}
SectionEnd

Section "-un.Folder"
  ; Only when empty: data\ and anything else the user put there stay.
  RMDir "$INSTDIR"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SectionData} "$(SectionDataDescription)"
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVEDATA" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SectionData} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
