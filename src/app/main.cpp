#include <windows.h>

#include "app/BrindleApp.h"
#include "win32/SystemLibraries.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  win32::RestrictDllSearchPath();
  int code = 0;
  {
    CBrindleApp app;
    code = app.Run();
  }
  // Workers that outlived the exit's bounded waits (a loading worker judging a long offer, an
  // event still sending) may still use the process-wide services. The process ends here, after
  // those waits, without destroying its static objects under them.
  ::ExitProcess(static_cast<UINT>(code));
}
