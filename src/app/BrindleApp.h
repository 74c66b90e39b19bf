#pragma once
#include <windows.h>

// Process start-up: the process environment (ProcessEnvironment.h), then the wizard dialog.
class CBrindleApp {
 public:
  CBrindleApp() = default;
  CBrindleApp(const CBrindleApp&) = delete;
  CBrindleApp& operator=(const CBrindleApp&) = delete;

  // Runs the wizard; returns the process exit code (the dialog's end code).
  int Run();
};
