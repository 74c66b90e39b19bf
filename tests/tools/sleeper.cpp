// Sleeps until the test that started it ends it: a process whose name the running-application
// check can find (Wine lists only its own processes). A window-subsystem program, so no
// console host is started that could keep the test's output pipe open.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ::Sleep(120000);
  return 0;
}
