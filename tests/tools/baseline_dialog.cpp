// The smallest dialog program built like the wizard: the baseline of the start-up benchmark.
#include <windows.h>

namespace {

INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) {
    ::EndDialog(window, 0);
    return TRUE;
  }
  return message == WM_INITDIALOG;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return static_cast<int>(::DialogBoxParamW(instance, MAKEINTRESOURCEW(1), nullptr, &Procedure, 0));
}
