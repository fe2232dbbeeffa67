; A silent test installer that uses the kit as an installer does: it installs lzmulti.exe's
; archives, a test module and the test program into $INSTDIR, calls both exports of the library
; by name and lzmulti.exe through the macros of halyard4inst.nsh, from a function, and writes
; what each call gave into $INSTDIR\results.txt, which tests/test_win32_installer.py compares.
;
;   makensis -WX [-DANSI] -DKIT=FOLDER -DMODULES=FOLDER -DPAYLOAD=ARCHIVE -DCUT=ARCHIVE \
;            -DOUTFILE=INSTALLER.exe testinstaller_win32.nsi
;   INSTALLER.exe /S /D=FOLDER
;
; KIT holds halyard4inst.dll and lzmulti.exe, MODULES the test modules and testprogram.exe of the
; build; CUT is an archive that lacks its last byte. Every record in results.txt is a line
; "<case>: <result>" and a line with the message. PAYLOAD is unpacked into $INSTDIR\unpacked,
; CUT into $INSTDIR\cut, lzmulti making the folders.

; A Unicode installer calls the wide twins, an ANSI one (-DANSI) the ANSI exports.
!ifndef ANSI
  Unicode true
!endif
Name "halyard4 test installer"
OutFile "${OUTFILE}"
InstallDir "$TEMP\halyard4-test"
RequestExecutionLevel user
ShowInstDetails nevershow

Var Results
Var Result
Var Message
Var File

!define HALYARD4_KIT "${KIT}"
; Twice: the second inclusion adds nothing.
!include "${__FILEDIR__}\..\halyard4inst.nsh"
!include "${__FILEDIR__}\..\halyard4inst.nsh"

!macro Record Case
  FileWrite $Results "${Case}: $Result$\r$\n$Message$\r$\n"
!macroend

!macro RegisterModule Case Module Action
  ${Halyard4RegisterModule} "${Module}" "${Action}" $Result $Message
  !insertmacro Record "${Case}"
!macroend

; The record holds "nonzero" for any true result.
!macro RunApplication CommandLine Folder
  ${Halyard4RunApplication} `${CommandLine}` "${Folder}" $Result
  IntCmp $Result 0 +2
  StrCpy $Result nonzero
!macroend

!macro Unpack Case Archive Folder
  ${Halyard4Unpack} "${Archive}" "${Folder}" $Result
  StrCpy $Message ""
  !insertmacro Record "${Case}"
!macroend

; Every call from a function whose registers hold values of their own: the record "registers"
; shows them after the calls.
Function Calls
  !insertmacro RegisterModule register "$INSTDIR\server_ok.dll" register
  !insertmacro RegisterModule unregister "$INSTDIR\server_ok.dll" unregister
  !insertmacro RegisterModule missing "$INSTDIR\absent.dll" register
  !insertmacro RegisterModule no-entry-points "$INSTDIR\server_none.dll" register

  ; The test program writes the file only after its pause: read right after the call, its
  ; contents show that the call waited for the program to end. No folder: a null pointer.
  !insertmacro RunApplication '"$INSTDIR\testprogram.exe" sleep 1500 "$INSTDIR\slept.txt"' ""
  StrCpy $Message "no file"
  ClearErrors
  FileOpen $File "$INSTDIR\slept.txt" r
  IfErrors +3
  FileRead $File $Message
  FileClose $File
  !insertmacro Record child

  !insertmacro Unpack unpack "$INSTDIR\payload.dpc" "$INSTDIR\unpacked"
  !insertmacro Unpack cut "$INSTDIR\cut.dpc" "$INSTDIR\cut"
FunctionEnd

Section
  SetOutPath $INSTDIR
  File "${MODULES}/server_ok.dll"
  File "${MODULES}/server_none.dll"
  File "${MODULES}/testprogram.exe"
  File "/oname=payload.dpc" "${PAYLOAD}"
  File "/oname=cut.dpc" "${CUT}"
  FileOpen $Results "$INSTDIR\results.txt" w

  StrCpy $0 r0
  StrCpy $1 r1
  StrCpy $2 r2
  StrCpy $3 r3
  StrCpy $4 r4
  StrCpy $5 r5
  StrCpy $6 r6
  StrCpy $7 r7
  StrCpy $8 r8
  StrCpy $9 r9
  Call Calls
  StrCpy $Result "$0 $1 $2 $3 $4 $5 $6 $7 $8 $9"
  StrCpy $Message $OUTDIR
  !insertmacro Record registers

  FileClose $Results
SectionEnd
