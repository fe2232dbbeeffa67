; An example installer for the kit: it unpacks a payload archive into the installation folder with
; lzmulti.exe, registers the COM server that the payload holds, writes the uninstall entry that
; Windows lists under installed programs, and an uninstaller that unregisters the server and
; removes the files and the entry. The calls are the macros of halyard4inst.nsh, which lies beside
; this script in the kit; they carry lzmulti.exe and halyard4inst.dll and unpack them into
; $PLUGINSDIR (removed when the installer ends). Pack the payload, then build the installer with
; makensis 3:
;
;   lzmulti payload.dpc example.dll doc\readme.txt
;   makensis example-install.nsi
;
; makensis takes these definitions before the script's name:
; -DKIT=FOLDER     where lzmulti.exe and halyard4inst.dll are (default: this script's folder)
; -DPAYLOAD=FILE   the archive (default payload.dpc); a payload with other names needs its
;                  files named in the uninstaller below
; -DSERVER=NAME    the COM server among the payload's names (default example.dll)
; -DOUTFILE=FILE   the installer (default example-install.exe)
; -DVERSION=TEXT   the version in the uninstall entry (default 1.0)
; -DANSI           an ANSI installer (default: a Unicode one, which takes any folder name)
; -DHALYARD4_LOG=FILE  a file for lzmulti's log lines besides the details, such as
;                  $INSTDIR\install.log (a silent installation shows no details)
;
; A silent installation (/S) ends with exit code 0 when it is complete, 1 to 5 (RegisterModule's
; result) when the server could not be registered, 6 when the payload did not unpack completely.

!ifndef ANSI
  Unicode true
!endif
!ifdef KIT
  !define HALYARD4_KIT "${KIT}"
!endif
!include LogicLib.nsh
!include "${__FILEDIR__}\halyard4inst.nsh"

!define /ifndef PAYLOAD payload.dpc
!define /ifndef SERVER example.dll
!define /ifndef OUTFILE example-install.exe
!define /ifndef VERSION 1.0
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Example"

Name "Example"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Example"
; Registering a COM server and the uninstall entry write to the machine's part of the registry.
RequestExecutionLevel admin

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
  InitPluginsDir
  File "/oname=$PLUGINSDIR\payload.dpc" "${PAYLOAD}"

  ; lzmulti makes the folders of the stored names; its log lines go into the details, and a
  ; damaged or cut payload stops the installation with lzmulti's own words.
  ${Halyard4Unpack} "$PLUGINSDIR\payload.dpc" "$INSTDIR" $0
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONSTOP "The payload was not unpacked completely:$\r$\n$0" /SD IDOK
    ; The installer's exit code tells the outcome to a caller of a silent installation.
    SetErrorLevel 6
    Abort
  ${EndIf}

  ${Halyard4RegisterModule} "$INSTDIR\${SERVER}" register $0 $1
  DetailPrint $1
  ${If} $0 != 0
    ${If} $0 = 3
      ; LoadLibrary failed: the module is missing, or a DLL that it needs is.
      StrCpy $1 "${SERVER} is missing or cannot be loaded.$\r$\n$1"
    ${EndIf}
    MessageBox MB_OK|MB_ICONSTOP "$1" /SD IDOK
    SetErrorLevel $0
    Abort
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "Example"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
SectionEnd

Section Uninstall
  ${Halyard4RegisterModule} "$INSTDIR\${SERVER}" unregister $0 $1
  ; The files go whatever the result: a module that is gone (3) has nothing left to unregister.
  DetailPrint $1
  Delete "$INSTDIR\${SERVER}"
  Delete "$INSTDIR\doc\readme.txt"
  RMDir "$INSTDIR\doc"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
