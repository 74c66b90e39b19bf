#pragma once
// A wizard started by a test; ended (forcibly if need be) when the object goes away, so a
// failing test never leaves a wizard behind in the shared prefix.
#include <windows.h>

#include <string>

#include "win32/UniqueResource.h"

class WizardProcess {
 public:
  explicit WizardProcess(const std::wstring& exePath);
  ~WizardProcess();
  WizardProcess(const WizardProcess&) = delete;
  WizardProcess& operator=(const WizardProcess&) = delete;

  bool Started() const { return static_cast<bool>(m_process); }
  DWORD Id() const { return m_processId; }
  bool IsRunning() const;
  // True when the process ended within the time; the exit code is stored in `exitCode`.
  bool WaitForExit(DWORD timeoutMs, DWORD& exitCode) const;

 private:
  win32::UniqueHandle m_process;
  DWORD m_processId = 0;
};

// Windows path of a Unix path handed over in an environment variable by CTest.
std::wstring WindowsPathFromEnv(const char* name);
// A fresh folder under the prefix's temporary folder.
std::wstring MakeScratchFolder(const std::wstring& name);

// BRINDLE_TIMEOUT_SCALE, 1 when unset.
double TimeoutScale();
