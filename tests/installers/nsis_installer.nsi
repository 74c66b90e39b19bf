; A real NSIS installer for tests: run with /S it installs a file and records that it ran;
; run without /S it ends at once with code 5 instead of waiting for a user.
; makensis -DTARGET=<x86-unicode|amd64-unicode> -DOUTFILE=<exe> -DPAYLOAD=<file> nsis_installer.nsi
Unicode true
Target ${TARGET}
Name "Brindle test installer"
OutFile "${OUTFILE}"
RequestExecutionLevel user
ShowInstDetails nevershow
Page instfiles

Var LogFolder

Function .onInit
  IfSilent silent
  SetErrorLevel 5
  Quit
silent:
  ReadEnvStr $LogFolder BRINDLE_INSTALLER_LOG
  StrCmp $LogFolder "" 0 +2
  StrCpy $LogFolder $EXEDIR
  StrCpy $INSTDIR "$LogFolder\nsis-installed"
FunctionEnd

Section
  SetOutPath $INSTDIR
  File "/oname=payload.txt" "${PAYLOAD}"
  FileOpen $0 "$LogFolder\nsis-installer.tmp" w
  FileWrite $0 "cmdline=$CMDLINE$\r$\n"
  FileWrite $0 "instdir=$INSTDIR$\r$\n"
  FileClose $0
  Rename "$LogFolder\nsis-installer.tmp" "$LogFolder\nsis-installer.log"
  SetErrorLevel 0
SectionEnd
