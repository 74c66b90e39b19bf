#include "config/ConfigurationManager.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <ctime>
#include <cwchar>
#include <iterator>
#include <string_view>

#include "config/FolderSecurity.h"
#include "config/Identity.h"
#include "win32/Strings.h"

namespace {

std::wstring HttpsUrl(const wchar_t* host, const wchar_t* path) { return std::wstring(L"https://") + host + path; }

std::wstring TempPath() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(buffer, length);
}

}  // namespace

std::shared_ptr<ConfigurationManager> ConfigurationManager::GetInstance() {
  static win32::MadeOnce<std::shared_ptr<ConfigurationManager>> instance;
  return instance.Get([] { return std::make_shared<ConfigurationManager>(config::GetBuildSettings()); });
}

ConfigurationManager::ConfigurationManager(const config::BuildSettings& settings) {
  const std::wstring_view typeName = settings.wizardTypeName;
  if (typeName == L"DLM") {
    wizardType = kWizardTypeDlm;
  } else if (typeName == L"ISV") {
    wizardType = kWizardTypeIsv;
  } else {
    ::MessageBoxW(nullptr, L"Unknown wizard type", L"", MB_OK);
    wizardType = 0;
  }
  failuresAsFinished = true;
  btPages = settings.btPages;
  btClassicPages = settings.btClassicPages;
  productVersion = win32::Widen(config::GetFileVersionText(), CP_ACP);

  configurationUrl = HttpsUrl(settings.contentHost, L"/o");
  eventsUrl = HttpsUrl(settings.contentHost, L"/zbd");
  account = L"Tavrel";
  installerName = L"Tavrel_DLM";
  setupName = L"Tavrel_3cpp";
  offerFilesBaseUrl = HttpsUrl(settings.contentHost, L"/f/");
  backgroundColor = RGB(250, 250, 250);
  accentColor = RGB(2, 119, 189);
  wizardPrivacyUrl = HttpsUrl(settings.privacyHost, L"/privacy/");

  if (wizardType == kWizardTypeDlm) {
    ApplyDlmDefaults(settings);
  } else if (wizardType == kWizardTypeIsv) {
    ApplyIsvDefaults(settings);
  }
}

void ConfigurationManager::ApplyDlmDefaults(const config::BuildSettings& settings) {
  downloadFolder = config::GetKnownFolder(FOLDERID_Downloads);
  if (downloadFolder.empty()) {
    wchar_t documents[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents))) {
      downloadFolder = documents;
    }
  }
  if (downloadFolder.empty()) downloadFolder = TempPath();
  if (downloadFolder.empty()) downloadFolder = L"C:\\";

  const std::wstring folder = settings.makeWorkFolder ? CreateWorkFolder() : std::wstring();
  if (!folder.empty() && ::PathIsDirectoryW(folder.c_str())) workFolder = folder;
}

void ConfigurationManager::ApplyIsvDefaults(const config::BuildSettings& settings) {
  productTitle = L"Tavrel";
  productUrl = settings.isvProductUrl != nullptr ? settings.isvProductUrl : L"";
  privacyUrl.clear();
  termsUrl.clear();
  productInstallParameters = settings.isvInstallParameters != nullptr ? settings.isvInstallParameters : L"";
  launchPath = settings.isvLaunchPath != nullptr ? settings.isvLaunchPath : L"";
  launchArguments = settings.isvLaunchArguments != nullptr ? settings.isvLaunchArguments : L"";

  const std::wstring folder = settings.makeWorkFolder ? CreateWorkFolder() : std::wstring();
  if (!folder.empty() && ::PathIsDirectoryW(folder.c_str())) {
    downloadFolder = folder;
    workFolder = folder;
  } else {
    downloadFolder.clear();
  }
}

std::string ConfigurationManager::GetRunStamp() {
  std::lock_guard lock(m_lazyMutex);
  if (runStamp.empty()) runStamp = FormatLocalTimestamp(std::time(nullptr), "%Y%m%d%H%M%S");
  return runStamp;
}

std::string ConfigurationManager::GetMachineId() {
  std::lock_guard lock(m_lazyMutex);
  if (machineId.empty()) machineId = config::ReadMachineGuid();
  return machineId;
}

config::PathTokenTable ConfigurationManager::GetPathTokens() {
  std::lock_guard lock(m_lazyMutex);
  if (!pathTokensReady) FillPathTokensLocked();
  return pathTokens;
}

void ConfigurationManager::FillPathTokens() {
  std::lock_guard lock(m_lazyMutex);
  FillPathTokensLocked();
}

void ConfigurationManager::FillPathTokensLocked() {
  for (auto& entry : config::BuildPathTokenTable()) {
    const bool exists =
        std::any_of(pathTokens.begin(), pathTokens.end(), [&entry](const auto& e) { return e.first == entry.first; });
    if (!exists) pathTokens.push_back(std::move(entry));
  }
  pathTokensReady = true;
}

std::wstring CreateWorkFolder() {
  const std::wstring temp = TempPath();
  if (temp.empty()) return {};
  // Protected from the start: without its descriptor no folder is made at all.
  config::WorkFolderSecurity security;
  if (security.Attributes() == nullptr) return {};
  // Create-and-check: the folder is made under a name nobody holds, in one step, so no other
  // process can slip in between choosing the name and creating the folder.
  const DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 4);
  for (DWORD attempt = 0; attempt < 0x10000; ++attempt) {
    wchar_t name[16] = {};
    std::swprintf(name, std::size(name), L"ISV%04X.tmp", static_cast<unsigned>((seed + attempt) & 0xFFFF));
    const std::wstring path = temp + name;
    if (::CreateDirectoryW(path.c_str(), security.Attributes())) return path;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

std::string FormatLocalTimestamp(long long secondsSince1970, const char* format) {
  const std::time_t seconds = static_cast<std::time_t>(secondsSince1970);
  std::tm local{};
  if (localtime_s(&local, &seconds) != 0) return {};
  char buffer[32] = {};
  const std::size_t length = std::strftime(buffer, sizeof(buffer), format, &local);
  return std::string(buffer, length);
}
