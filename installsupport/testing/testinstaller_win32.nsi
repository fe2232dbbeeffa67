; A silent test installer that uses the kit as an installer does: it unpacks halyard4inst.dll into
; $PLUGINSDIR, installs lzmulti.exe together with a test module, the test program and an archive
; into $INSTDIR, calls both exports of the library by name through the macros of the example
; installer (installsupport/example-install.nsi), and writes what each call gave into
; $INSTDIR\results.txt, which tests/test_win32_installer.py compares.
;
;   makensis -WX -DKIT=FOLDER -DMODULES=FOLDER -DPAYLOAD=ARCHIVE -DOUTFILE=INSTALLER.exe \
;            testinstaller_win32.nsi
;   INSTALLER.exe /S /D=FOLDER
;
; KIT holds halyard4inst.dll and lzmulti.exe, MODULES the test modules and testprogram.exe of the
; build. Every record in results.txt is a line "<case>: <result>" and a line with the message.
; The archive is unpacked into $INSTDIR\unpacked, whose folder sub is made beforehand.

; A Unicode installer: the library's ANSI parameters (System type m) are then converted on the
; way in and out, which a wrong parameter type would not survive.
Unicode true
Name "halyard4 test installer"
OutFile "${OUTFILE}"
InstallDir "$TEMP\halyard4-test"
RequestExecutionLevel user
ShowInstDetails nevershow

Var Results

; The calls are the example installer's macros: the result in $0, the message in $1.
!define HALYARD4_MACROS_ONLY
!include "../example-install.nsi"

!macro Record Case
  FileWrite $Results "${Case}: $0$\r$\n$1$\r$\n"
!macroend

!macro RegisterModule Case Module Action
  StrCpy $0 ""
  StrCpy $1 ""
  !insertmacro Halyard4RegisterModule "${Module}" "${Action}"
  !insertmacro Record "${Case}"
!macroend

; The record holds "nonzero" for any true result.
!macro RunApplication Case CommandLine Folder
  StrCpy $0 ""
  !insertmacro Halyard4RunApplication `${CommandLine}` "${Folder}"
  IntCmp $0 0 +2
  StrCpy $0 nonzero
!macroend

Section
  InitPluginsDir
  File "/oname=$PLUGINSDIR\halyard4inst.dll" "${KIT}/halyard4inst.dll"
  SetOutPath $INSTDIR
  File "${KIT}/lzmulti.exe"
  File "${MODULES}/server_ok.dll"
  File "${MODULES}/server_none.dll"
  File "${MODULES}/testprogram.exe"
  File "/oname=payload.dpc" "${PAYLOAD}"
  FileOpen $Results "$INSTDIR\results.txt" w

  !insertmacro RegisterModule register "$INSTDIR\server_ok.dll" register
  !insertmacro RegisterModule unregister "$INSTDIR\server_ok.dll" unregister
  !insertmacro RegisterModule missing "$INSTDIR\absent.dll" register
  !insertmacro RegisterModule no-entry-points "$INSTDIR\server_none.dll" register

  ; The test program writes the file only after its pause: read right after the call, its
  ; contents show that the call waited for the program to end. No folder: a null pointer.
  !insertmacro RunApplication child \
      '"$INSTDIR\testprogram.exe" sleep 1500 "$INSTDIR\slept.txt"' ""
  StrCpy $1 "no file"
  ClearErrors
  FileOpen $4 "$INSTDIR\slept.txt" r
  IfErrors +3
  FileRead $4 $1
  FileClose $4
  !insertmacro Record child

  CreateDirectory "$INSTDIR\unpacked\sub"
  !insertmacro RunApplication lzmulti '"$INSTDIR\lzmulti.exe" "$INSTDIR\payload.dpc"' \
      "$INSTDIR\unpacked"
  StrCpy $1 ""
  !insertmacro Record lzmulti

  FileClose $Results
SectionEnd
