; halyard4inst.nsh: the kit's calls for NSIS 3 installers, ANSI or Unicode, in sections and
; functions of the installer and of its uninstaller.
;
;   !include halyard4inst.nsh
;   ${Halyard4Unpack} ARCHIVE FOLDER $RESULT
;       unpacks the archive into FOLDER (made when missing) with the kit's lzmulti.exe, run
;       hidden, which makes the folders that the members need (-c yes); puts its log lines into
;       the installation's details. RESULT is empty when every
;       file arrived complete, otherwise lzmulti's first Error line (or why it did not run).
;   ${Halyard4RegisterModule} MODULE ACTION $RESULT $MESSAGE
;       registers (ACTION register) or unregisters (unregister) a COM server module with
;       RegisterModule: RESULT 0 success, 1 no module name, 2 no OLE, 3 the module cannot be
;       loaded, 4 it lacks the entry point, 5 the entry point failed, "error" when the library did
;       not load; MESSAGE the library's message.
;   ${Halyard4RunApplication} COMMANDLINE FOLDER $RESULT
;       starts a program without a console window in FOLDER (empty: the installer's current
;       folder, its last SetOutPath) and waits until it has ended. RESULT is nonzero when it
;       started (its exit code is not reported), 0 when it did not, "error" when the library did
;       not load.
;
; The results go into the variables named; no other variable ($0-$9, $R0-$R9 and the rest) and
; not the output folder change. The macros carry lzmulti.exe and halyard4inst.dll into the
; installer and unpack them into $PLUGINSDIR when they need them. In a Unicode installer they call
; the library's wide twins (RegisterModuleW, RunApplicationW), so that paths outside the ANSI code
; page pass unchanged; in an ANSI one its ANSI exports.
;
; Definitions that a script may make before it includes this file:
;   HALYARD4_KIT             the folder of lzmulti.exe and halyard4inst.dll (default: this
;                            file's folder, as in the kit)
;   HALYARD4_UNPACK_OPTIONS  further options that ${Halyard4Unpack} gives lzmulti before the
;                            archive, after -c yes (default none; see lzmulti's usage text)
;   HALYARD4_LOG             a file to which ${Halyard4Unpack} also appends lzmulti's log lines,
;                            such as $INSTDIR\install.log: a silent installation has no details

!ifndef HALYARD4INST_NSH
!define HALYARD4INST_NSH
!verbose push 3

!include LogicLib.nsh
!include Util.nsh

!define /ifndef HALYARD4_KIT "${__FILEDIR__}"
!define /ifndef HALYARD4_UNPACK_OPTIONS ""

; The library's exports for the installer's characters, with the System plug-in's type of their
; texts: w passes UTF-16, m converts to the ANSI code page.
!ifdef NSIS_UNICODE
  !define _HALYARD4_EXPORT W
  !define _HALYARD4_TEXT w
!else
  !define _HALYARD4_EXPORT ""
  !define _HALYARD4_TEXT m
!endif
; "?u" unloads the library after each call, so that nothing keeps $PLUGINSDIR in use.
!define _HALYARD4_LIBRARY "$PLUGINSDIR\halyard4inst.dll"

; Puts a file of the kit into $PLUGINSDIR.
!macro _Halyard4Place Name
  InitPluginsDir
  File "/oname=$PLUGINSDIR\${Name}" "${HALYARD4_KIT}\${Name}"
!macroend

!define Halyard4RegisterModule "!insertmacro Halyard4RegisterModule"
!macro Halyard4RegisterModule Module Action Result Message
  !verbose push 3
  Push `${Action}`
  Push `${Module}`
  ${CallArtificialFunction} _Halyard4RegisterModule
  Pop ${Result}
  Pop ${Message}
  !verbose pop
!macroend

; Takes the module and the action from the stack, leaves the result and the message there.
!macro _Halyard4RegisterModule
  Exch $0
  Exch
  Exch $1
  Push $2
  !insertmacro _Halyard4Place halyard4inst.dll
  StrCpy $2 ""
  ; ".r2" gives the library a buffer of NSIS_MAX_STRLEN (1024) characters, as much as it writes.
  System::Call "${_HALYARD4_LIBRARY}::RegisterModule${_HALYARD4_EXPORT}(${_HALYARD4_TEXT} r0, ${_HALYARD4_TEXT} r1, ${_HALYARD4_TEXT} '', ${_HALYARD4_TEXT} .r2) i .r0 ?u"
  Exch $2
  Exch
  Pop $1
  Exch
  Exch $0
!macroend

!define Halyard4RunApplication "!insertmacro Halyard4RunApplication"
!macro Halyard4RunApplication CommandLine Folder Result
  !verbose push 3
  Push `${Folder}`
  Push `${CommandLine}`
  ${CallArtificialFunction} _Halyard4RunApplication
  Pop ${Result}
  !verbose pop
!macroend

; Takes the command line and the folder from the stack, leaves the result there. An empty folder
; passes a null pointer.
!macro _Halyard4RunApplication
  Exch $0
  Exch
  Exch $1
  !insertmacro _Halyard4Place halyard4inst.dll
  ${If} $1 == ""
    System::Call "${_HALYARD4_LIBRARY}::RunApplication${_HALYARD4_EXPORT}(${_HALYARD4_TEXT} r0, p 0) i .r0 ?u"
  ${Else}
    System::Call "${_HALYARD4_LIBRARY}::RunApplication${_HALYARD4_EXPORT}(${_HALYARD4_TEXT} r0, ${_HALYARD4_TEXT} r1) i .r0 ?u"
  ${EndIf}
  Pop $1
  Exch $0
!macroend

!define Halyard4Unpack "!insertmacro Halyard4Unpack"
!macro Halyard4Unpack Archive Folder Result
  !verbose push 3
  Push `${Folder}`
  Push `${Archive}`
  ${CallArtificialFunction} _Halyard4Unpack
  Pop ${Result}
  !verbose pop
!macroend

; Takes the archive and the folder from the stack, leaves the result there. lzmulti unpacks into
; its current folder, which is the installer's output folder while it runs; nsExec starts it
; without a window and hands back its exit code and its log (standard output and error, the first
; NSIS_MAX_STRLEN characters). Its exit code is 0 whatever happened: the log tells.
!macro _Halyard4Unpack
  Exch $0
  Exch
  Exch $1
  Push $2
  Push $3
  Push $4
  Push $5
  !insertmacro _Halyard4Place lzmulti.exe
  StrCpy $5 $OUTDIR
  SetOutPath $1
  nsExec::ExecToStack `"$PLUGINSDIR\lzmulti.exe" -c yes ${HALYARD4_UNPACK_OPTIONS} "$0"`
  Pop $2
  Pop $3
  ${If} $5 != ""
    SetOutPath $5
  ${EndIf}
  ${If} $2 == "error"
    StrCpy $0 "lzmulti.exe could not be started."
  ${ElseIf} $2 != 0
    StrCpy $0 "lzmulti.exe ended with exit code $2."
  ${Else}
    StrCpy $0 ""
  ${EndIf}
  !ifdef HALYARD4_LOG
    FileOpen $5 "${HALYARD4_LOG}" a
    FileSeek $5 0 END
  !endif
  ; One line after the other: $1 counts the characters of the line at the start of $3.
  StrCpy $1 0
  ${Do}
    StrCpy $4 $3 1 $1
    ${If} $4 != "$\n"
    ${AndIf} $4 != "$\r"
    ${AndIf} $4 != ""
      IntOp $1 $1 + 1
      ${Continue}
    ${EndIf}
    StrCpy $2 $3 $1
    IntOp $1 $1 + 1
    StrCpy $3 $3 "" $1
    StrCpy $1 0
    ${If} $2 != ""
      DetailPrint $2
      !ifdef HALYARD4_LOG
        FileWrite $5 "$2$\r$\n"
      !endif
      StrCpy $4 $2 9
      ${If} $0 == ""
      ${AndIf} $4 S== "Error...."
        StrCpy $0 $2
      ${EndIf}
    ${EndIf}
  ${LoopUntil} $3 == ""
  !ifdef HALYARD4_LOG
    FileClose $5
  !endif
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
!macroend

!verbose pop
!endif
