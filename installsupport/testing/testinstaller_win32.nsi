; A silent test installer that uses the kit as an installer does: it installs halyard4inst.dll and
; lzmulti.exe together with a test module, the test program and an archive into $INSTDIR, calls
; both exports of the library by name through the System plug-in, and writes what each call gave
; into $INSTDIR\results.txt, which tests/test_win32_installer.py compares.
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

!define LIBRARY "$INSTDIR\halyard4inst.dll"

!macro Record Case
  FileWrite $Results "${Case}: $0$\r$\n$1$\r$\n"
!macroend

; RegisterModule(LPCSTR ModuleName, LPCSTR chRegister, LPCSTR chVerbose, LPSTR chMessage): int,
; stdcall. The System plug-in gives the output string a buffer of NSIS_MAX_STRLEN (1024) bytes,
; the size that the library writes at most.
!macro RegisterModule Case Module Action
  StrCpy $0 ""
  StrCpy $1 ""
  StrCpy $2 "${Module}"
  StrCpy $3 "${Action}"
  System::Call "${LIBRARY}::RegisterModule(m r2, m r3, m 'silent', m .r1) i .r0"
  !insertmacro Record "${Case}"
!macroend

; RunApplication(LPCSTR chCommandLine, LPCSTR chCurrentDirectory): BOOL, stdcall. Directory is
; the second parameter with its type: "m r3" for the text in $3, "p 0" for a null pointer (the
; System plug-in's "m n" does not give one: RunApplication then fails). The record holds
; "nonzero" for any true result.
!macro RunApplication Case CommandLine Directory
  StrCpy $0 ""
  StrCpy $2 '${CommandLine}'
  System::Call "${LIBRARY}::RunApplication(m r2, ${Directory}) i .r0"
  IntCmp $0 0 +2
  StrCpy $0 nonzero
!macroend

Section
  SetOutPath $INSTDIR
  File "${KIT}/halyard4inst.dll"
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
  ; contents show that the call waited for the program to end.
  !insertmacro RunApplication child \
      '"$INSTDIR\testprogram.exe" sleep 1500 "$INSTDIR\slept.txt"' "p 0"
  StrCpy $1 "no file"
  ClearErrors
  FileOpen $4 "$INSTDIR\slept.txt" r
  IfErrors +3
  FileRead $4 $1
  FileClose $4
  !insertmacro Record child

  CreateDirectory "$INSTDIR\unpacked\sub"
  StrCpy $3 "$INSTDIR\unpacked"
  !insertmacro RunApplication lzmulti '"$INSTDIR\lzmulti.exe" "$INSTDIR\payload.dpc"' "m r3"
  StrCpy $1 ""
  !insertmacro Record lzmulti

  FileClose $Results
SectionEnd
