; An example installer for the kit: it unpacks a payload archive into the installation folder with
; lzmulti.exe, registers the COM server that the payload holds, and writes an uninstaller that
; unregisters it and removes the files. Both steps go through halyard4inst.dll, which the installer
; carries and unpacks into $PLUGINSDIR (removed when it ends). Pack the payload, then build the
; installer with makensis 3:
;
;   lzmulti payload.dpc example.dll doc\readme.txt
;   makensis example-install.nsi
;
; makensis takes these definitions before the script's name:
; -DKIT=FOLDER     where lzmulti.exe and halyard4inst.dll are (default: this script's folder)
; -DPAYLOAD=FILE   the archive (default payload.dpc); a payload with other names needs its
;                  folders and files named in the sections below
; -DSERVER=NAME    the COM server among the payload's names (default example.dll)
; -DOUTFILE=FILE   the installer (default example-install.exe)
;
; Another script can take the two macros alone: !define HALYARD4_MACROS_ONLY, then !include this.

!include LogicLib.nsh

; Both exports are stdcall functions with ANSI string parameters (LPCSTR, LPSTR): the System
; plug-in's type "m", also in a Unicode installer, which converts them on the way in and out.
; "?u" unloads the library after each call, so that nothing keeps $PLUGINSDIR in use.

; RegisterModule: an Action whose first letter is R registers (DllRegisterServer), any other
; unregisters (DllUnregisterServer); chVerbose "" shows no message boxes. The result comes in $0:
; 0 success, 1 no module name, 2 no OLE, 3 the module cannot be loaded, 4 it lacks the entry
; point, 5 the entry point failed. The message comes in $1: "m .r1" gives the library a buffer of
; 1024 bytes (NSIS_MAX_STRLEN), as much as it writes. Uses $2 and $3.
!macro Halyard4RegisterModule Module Action
  StrCpy $2 "${Module}"
  StrCpy $3 "${Action}"
  System::Call "$PLUGINSDIR\halyard4inst.dll::RegisterModule(m r2, m r3, m '', m .r1) i .r0 ?u"
!macroend

; RunApplication: starts CommandLine without a console window in Folder and waits until the
; program has ended. $0 is nonzero when the program started (its exit code is not reported); 0
; when it did not, "error" when the library did not load. An empty Folder passes a null pointer
; (the System plug-in makes "" of "m n"): the program starts in the installer's current folder,
; the last SetOutPath. Uses $2 and $3.
!macro Halyard4RunApplication CommandLine Folder
  StrCpy $2 `${CommandLine}`
  !if `${Folder}` == ``
    System::Call "$PLUGINSDIR\halyard4inst.dll::RunApplication(m r2, p 0) i .r0 ?u"
  !else
    StrCpy $3 `${Folder}`
    System::Call "$PLUGINSDIR\halyard4inst.dll::RunApplication(m r2, m r3) i .r0 ?u"
  !endif
!macroend

!ifndef HALYARD4_MACROS_ONLY
!ifndef KIT
  !define KIT .
!endif
!ifndef PAYLOAD
  !define PAYLOAD payload.dpc
!endif
!ifndef SERVER
  !define SERVER example.dll
!endif
!ifndef OUTFILE
  !define OUTFILE example-install.exe
!endif

Unicode true
Name "Example"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Example"
; Registering a COM server writes to the machine's part of the registry.
RequestExecutionLevel admin

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
  InitPluginsDir
  File "/oname=$PLUGINSDIR\halyard4inst.dll" "${KIT}\halyard4inst.dll"
  File "/oname=$PLUGINSDIR\lzmulti.exe" "${KIT}\lzmulti.exe"
  File "/oname=$PLUGINSDIR\payload.dpc" "${PAYLOAD}"

  ; lzmulti unpacks into its current folder and makes files, not folders: every folder of the
  ; stored names must exist beforehand. Its exit status is always 0 (the log goes to its error
  ; stream, which nobody sees here): a file that did not arrive shows when it is used.
  CreateDirectory "$INSTDIR\doc"
  !insertmacro Halyard4RunApplication '"$PLUGINSDIR\lzmulti.exe" "$PLUGINSDIR\payload.dpc"' \
      "$INSTDIR"
  ${If} $0 = 0
    MessageBox MB_OK|MB_ICONSTOP "lzmulti.exe could not be started." /SD IDOK
    Abort
  ${EndIf}

  !insertmacro Halyard4RegisterModule "$INSTDIR\${SERVER}" register
  DetailPrint $1
  ${If} $0 != 0
    ${If} $0 = 3
      ; LoadLibrary failed: the module is missing, or a DLL that it needs is.
      StrCpy $1 "${SERVER} is missing or cannot be loaded.$\r$\n$1"
    ${EndIf}
    MessageBox MB_OK|MB_ICONSTOP "$1" /SD IDOK
    ; The installer's exit code tells the result to a caller of a silent installation.
    SetErrorLevel $0
    Abort
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"
SectionEnd

Section Uninstall
  InitPluginsDir
  File "/oname=$PLUGINSDIR\halyard4inst.dll" "${KIT}\halyard4inst.dll"
  !insertmacro Halyard4RegisterModule "$INSTDIR\${SERVER}" unregister
  ; The files go whatever the result: a module that is gone (3) has nothing left to unregister.
  DetailPrint $1
  Delete "$INSTDIR\${SERVER}"
  Delete "$INSTDIR\doc\readme.txt"
  RMDir "$INSTDIR\doc"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
!endif
