#include <windows.h>

#include "app/BrindleApp.h"
#include "app/ProcessEnvironment.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RestrictDllSearchPath();
  CBrindleApp app;
  return app.Run();
}
