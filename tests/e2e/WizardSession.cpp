#include "WizardSession.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "resources/resource.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

namespace fs = std::filesystem;

DWORD WizardTimeout() { return static_cast<DWORD>(30000 * TimeoutScale()); }

nlohmann::json TestOffer(const std::string& id, int vertical, const std::string& location, const std::string& arguments,
                         const std::string& image) {
  return {{"ad", {{"o", id}, {"f", "tok-" + id}}},
          {"ps",
           {{"i", image},
            {"dn", "Offer " + id},
            {"u", location},
            {"p", arguments},
            {"cp", "https://localhost/" + id + "/privacy"},
            {"ctu", "https://localhost/" + id + "/terms"},
            {"v", vertical}}}};
}

WizardSession::WizardSession(const std::wstring& wizardPath, const std::map<std::wstring, std::wstring>& environment) {
  m_logFolder = MakeScratchFolder(L"installers");
  ::SetEnvironmentVariableW(L"BRINDLE_INSTALLER_LOG", m_logFolder.c_str());
  for (const auto& [name, value] : environment) ::SetEnvironmentVariableW(name.c_str(), value.c_str());
  m_process = std::make_unique<WizardProcess>(wizardPath);
  for (const auto& [name, value] : environment) ::SetEnvironmentVariableW(name.c_str(), nullptr);
  const DWORD id = m_process->Id();
  m_main = uidriver::WaitFor(
      [id] {
        for (HWND window : uidriver::TopLevelDialogs(id)) {
          if (::IsWindowVisible(window) && ::GetDlgItem(window, IDC_PAGE_AREA) != nullptr) return window;
        }
        return HWND{nullptr};
      },
      WizardTimeout());
}

WizardSession::~WizardSession() {
  m_process.reset();  // ends a wizard a failed test left running
  std::error_code ignored;
  fs::remove_all(m_logFolder, ignored);
}

::testing::AssertionResult WizardSession::ShowsPage(const std::wstring& name, DWORD timeoutMs) {
  if (m_main == nullptr) return ::testing::AssertionFailure() << "the wizard window never showed";
  if (uidriver::WaitForPage(m_main, name, timeoutMs) != nullptr) {
    m_transcript.AddPage(m_main);
    return ::testing::AssertionSuccess();
  }
  uidriver::Transcript shown;
  shown.AddPage(m_main);
  return ::testing::AssertionFailure() << "expected page " << win32::Narrow(name, CP_UTF8) << ", shown "
                                       << win32::Narrow(shown.Text(), CP_UTF8) << "after\n"
                                       << win32::Narrow(Transcript(), CP_UTF8);
}

void WizardSession::Click(int id) {
  m_transcript.Add(L"click " + std::to_wstring(id));
  // Sent, not posted: the page has acted on it when this returns (a question it asks blocks
  // only until answered, which callers do through Close()).
  ::SendMessageTimeoutW(Control(id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
}

std::wstring WizardSession::Close(int button, DWORD questionMs) {
  m_transcript.Add(L"close");
  uidriver::Close(m_main);
  const std::wstring question = uidriver::AnswerMessageBox(ProcessId(), button, questionMs);
  if (!question.empty()) m_transcript.Add(L"question: " + question);
  return question;
}

long WizardSession::ExitCode(DWORD timeoutMs) {
  DWORD code = 0;
  if (!m_process->WaitForExit(timeoutMs, code)) return -1;
  return static_cast<long>(code);
}

std::vector<InstallerRecord> WizardSession::InstallerRecords() const {
  std::vector<InstallerRecord> records;
  for (const auto& entry : fs::directory_iterator(m_logFolder)) {
    if (entry.path().extension() != L".log") continue;
    std::ifstream file(entry.path());
    InstallerRecord record;
    for (std::string line; std::getline(file, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto equals = line.find('=');
      if (equals != std::string::npos) record[line.substr(0, equals)] = line.substr(equals + 1);
    }
    records.push_back(record);
  }
  // The NSIS installer records no "exe"; it sorts first.
  const auto exe = [](const InstallerRecord& record) {
    const auto found = record.find("exe");
    return found != record.end() ? found->second : std::string();
  };
  std::sort(records.begin(), records.end(), [&](const auto& a, const auto& b) { return exe(a) < exe(b); });
  return records;
}

std::map<std::string, std::vector<std::string>> EventsByPackage(const nlohmann::json& events) {
  std::map<std::string, std::vector<std::string>> byPackage;
  for (const auto& event : events) {
    byPackage[event["data"]["5"].get<std::string>()].push_back(event["event_id"].get<std::string>());
  }
  for (auto& [package, ids] : byPackage) std::sort(ids.begin(), ids.end());
  return byPackage;
}

std::vector<std::wstring> WorkFolders() {
  std::vector<std::wstring> folders;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), ignored)) {
    const std::wstring name = entry.path().filename().wstring();
    if (entry.is_directory() && name.rfind(L"ISV", 0) == 0 && entry.path().extension() == L".tmp") {
      folders.push_back(entry.path().wstring());
    }
  }
  return folders;
}

std::wstring DownloadsFolder() {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &path))) folder = path;
  ::CoTaskMemFree(path);
  return folder;
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

namespace {
constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPending[] = L"PendingFileRenameOperations";
}  // namespace

PendingRemovals::PendingRemovals() {
  DWORD size = 0;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_ANY, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return;
  }
  m_value.resize(size);
  m_present = ::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPending, RRF_RT_ANY, nullptr, m_value.data(),
                             &size) == ERROR_SUCCESS;
  m_value.resize(size);
}

PendingRemovals::~PendingRemovals() {
  win32::UniqueHkey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  if (m_present) {
    ::RegSetValueExW(key.get(), kPending, 0, REG_MULTI_SZ, m_value.data(), static_cast<DWORD>(m_value.size()));
  } else {
    ::RegDeleteValueW(key.get(), kPending);
  }
}
