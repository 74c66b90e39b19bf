#pragma once
// The outcome of starting an installer.
#include <windows.h>

#include <string>

namespace install {

struct ExecResult {
  static constexpr DWORD kNoExitCode = 0xFFFFFFFF;

  // kNoExitCode unless the process was waited for and its code could be read.
  DWORD exitCode = kNoExitCode;
  // Empty only when exitCode is 0: "exit code = %u" or "Error launching executable: %s".
  std::wstring text;
  // The process was created. A program that ends with 0xFFFFFFFF, or one not waited for,
  // has the same exitCode as a failed start; this tells them apart.
  bool started = false;
};

}  // namespace install
