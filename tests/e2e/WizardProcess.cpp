#include "WizardProcess.h"

#include <cstdlib>
#include <vector>

WizardProcess::WizardProcess(const std::wstring& exePath) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::wstring commandLine = L"\"" + exePath + L"\"";
  if (::CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
    win32::UniqueHandle thread(info.hThread);
    m_process.reset(info.hProcess);
    m_processId = info.dwProcessId;
  }
}

WizardProcess::~WizardProcess() {
  if (IsRunning()) {
    ::TerminateProcess(m_process.get(), 99);
    ::WaitForSingleObject(m_process.get(), 10000);
  }
}

bool WizardProcess::IsRunning() const { return m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT; }

bool WizardProcess::WaitForExit(DWORD timeoutMs, DWORD& exitCode) const {
  if (!m_process || ::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) return false;
  ::GetExitCodeProcess(m_process.get(), &exitCode);
  return true;
}

std::wstring WindowsPathFromEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return {};
  std::wstring path = L"Z:";
  for (const char* p = value; *p != '\0'; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

std::wstring MakeScratchFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + L"brindle-test-" + name + L"-" + std::to_wstring(::GetCurrentProcessId());
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

double TimeoutScale() {
  const char* value = std::getenv("BRINDLE_TIMEOUT_SCALE");
  const double scale = value != nullptr ? std::atof(value) : 1.0;
  return scale > 0 ? scale : 1.0;
}
