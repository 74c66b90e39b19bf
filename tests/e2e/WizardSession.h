#pragma once
// One wizard run driven from outside the way a person would: pages by name, buttons, the close
// question; plus what the run left behind: the files it downloaded, the installers it started
// (they write a record each) and the events the reference service received.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UiDriver.h"
#include "WizardProcess.h"

// Time limits of the runs, stretched on slow machines.
DWORD WizardTimeout();

// The test installer as the harness serves it below /f/, and the wizards under test.
inline constexpr const char* kInstaller = "install/test_installer.exe";
inline const std::wstring kDlm = WindowsPathFromEnv("BRINDLE_WIZARD_DLM");
inline const std::wstring kIsv = WindowsPathFromEnv("BRINDLE_WIZARD_ISV");
inline const std::wstring kDlmBt = WindowsPathFromEnv("BRINDLE_WIZARD_BT");
inline const std::wstring kIsvClassic = WindowsPathFromEnv("BRINDLE_WIZARD_ISV_CLASSIC");

// An offer object of the configuration document, with its own privacy and terms addresses.
nlohmann::json TestOffer(const std::string& id, int vertical, const std::string& location, const std::string& arguments,
                         const std::string& image = "offer1.png");

// What a test installer recorded: exe, cmdline, cwd, exit and data (when asked to read a file).
using InstallerRecord = std::map<std::string, std::string>;

class WizardSession {
 public:
  // Runs a copy of the wizard named `exeName` (a campaign code in the name picks a document),
  // with the environment variables given (they reach the installers it starts).
  explicit WizardSession(const std::wstring& wizardPath, const std::map<std::wstring, std::wstring>& environment = {});
  ~WizardSession();

  HWND Main() const { return m_main; }
  DWORD ProcessId() const { return m_process ? m_process->Id() : 0; }
  // Waits for the page; the failure message tells which page showed instead.
  ::testing::AssertionResult ShowsPage(const std::wstring& name, DWORD timeoutMs = WizardTimeout());
  HWND Page() const { return uidriver::CurrentPage(m_main); }
  HWND Control(int id) const { return uidriver::FindControl(Page(), id); }
  std::wstring Text(int id) const { return uidriver::GetText(Control(id)); }
  void Click(int id);
  // Posts WM_CLOSE and answers the question with `button` (IDOK or IDCANCEL); the question's
  // text, empty when none was asked within `questionMs`.
  std::wstring Close(int button = IDOK, DWORD questionMs = 3000);
  // The exit code, or -1 when the wizard did not end in time.
  long ExitCode(DWORD timeoutMs = WizardTimeout());
  std::wstring Transcript() const { return m_transcript.Text(); }
  const std::wstring& InstallerLogFolder() const { return m_logFolder; }
  std::vector<InstallerRecord> InstallerRecords() const;

 private:
  std::unique_ptr<WizardProcess> m_process;
  HWND m_main = nullptr;
  std::wstring m_logFolder;
  uidriver::Transcript m_transcript;
};

// The ids of the events each offer (payload "5") received, sorted; the main product's under
// its own "5" value.
std::map<std::string, std::vector<std::string>> EventsByPackage(const nlohmann::json& events);
// The wizard's work folders under the temporary folder, full paths.
std::vector<std::wstring> WorkFolders();
std::wstring DownloadsFolder();
bool FileExists(const std::wstring& path);

// Puts back the removals scheduled for the next restart as they were: the prefix is shared by
// the whole test run.
class PendingRemovals {
 public:
  PendingRemovals();
  ~PendingRemovals();
  PendingRemovals(const PendingRemovals&) = delete;
  PendingRemovals& operator=(const PendingRemovals&) = delete;

 private:
  std::vector<BYTE> m_value;
  bool m_present = false;
};
