// BrindleRules.exe: why would this machine see these offers? A configuration document judged
// by the wizard's own eligibility code, with the facts each verdict read and the offer flow.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "config/ApiManager.h"
#include "config/ConfigurationManager.h"
#include "config/Identity.h"
#include "offers/MachineFacts.h"
#include "tools/rules/Judgement.h"
#include "tools/rules/Report.h"
#include "tools/rules/RulesCommandLine.h"
#include "tools/rules/RulesSettings.h"
#include "win32/Strings.h"
#include "win32/SystemLibraries.h"
#include "win32/UniqueResource.h"

using nlohmann::json;

namespace {

constexpr int kJudged = 0;
constexpr int kUsageError = 1;
constexpr int kUnusableDocument = 2;
constexpr int kFailed = 3;

// UTF-8 to a file or pipe, wide text to a console.
void Write(DWORD stream, const std::string& text) {
  const HANDLE handle = ::GetStdHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) {
    const std::wstring wide = win32::Widen(text, CP_UTF8);
    constexpr std::size_t kChunk = 8192;
    for (std::size_t at = 0; at < wide.size(); at += kChunk) {
      DWORD written = 0;
      const auto count = static_cast<DWORD>(std::min(kChunk, wide.size() - at));
      if (!::WriteConsoleW(handle, wide.data() + at, count, &written, nullptr)) return;
    }
    return;
  }
  for (std::size_t at = 0; at < text.size();) {
    DWORD written = 0;
    if (!::WriteFile(handle, text.data() + at, static_cast<DWORD>(text.size() - at), &written, nullptr) ||
        written == 0) {
      return;
    }
    at += written;
  }
}

std::string FirstLine(std::wstring text) {
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return win32::WideToUtf8(text);
}

// The file's bytes parsed as the wizard parses the service's answer.
json ReadDocument(const std::wstring& path) {
  const std::string name = win32::WideToUtf8(path);
  win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.get(), &size)) {
    throw rules::UnusableDocument("cannot read " + name + ": " + FirstLine(win32::SystemErrorText(::GetLastError())));
  }
  // The wizard takes no larger answer from the service.
  if (size.QuadPart > static_cast<LONGLONG>(kMaxConfigurationBytes)) {
    throw rules::UnusableDocument(name + " is larger than the " + std::to_string(kMaxConfigurationBytes) +
                                  " bytes the wizard accepts");
  }
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                         read != bytes.size())) {
    throw rules::UnusableDocument("cannot read " + name + ": " + FirstLine(win32::SystemErrorText(::GetLastError())));
  }
  if (bytes.empty()) throw rules::UnusableDocument(name + " is empty");
  try {
    return json::parse(bytes, nullptr, true, false);
  } catch (const std::exception& error) {
    throw rules::UnusableDocument(error.what());
  }
}

// The document the service gives the wizard of this campaign, asked for as the wizard asks.
json RequestDocument(const std::wstring& campaignCode, ConfigurationManager& config) {
  // The language the request names: the user's own, which the wizard preselects.
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
  if (::GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH) > 0) config.localeName = locale;
  try {
    return *ApiManager::GetInstance()->RequestConfiguration(config, campaignCode);
  } catch (const std::exception& error) {
    throw rules::UnusableDocument("no configuration from " + win32::WideToUtf8(config.configurationUrl) + ": " +
                                  error.what());
  }
}

bool IsElevated() {
  win32::UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = sizeof(elevation);
  return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated != 0;
}

int Run(const rules::RulesOptions& options) {
  rules::JudgeForWizardType(options.isv);
  const auto config = ConfigurationManager::GetInstance();
  rules::ReportHead head;
  head.source = options.campaignCode.empty() ? win32::WideToUtf8(options.documentPath)
                                             : "campaign " + win32::WideToUtf8(options.campaignCode) + " from " +
                                                   win32::WideToUtf8(config->configurationUrl);
  head.windowsVersion = config::GetOsVersionText();
  head.windows64 = SystemMachineFacts().Is64BitWindows().value_or(false);
  head.elevated = IsElevated();
  head.wizardVersion = win32::WideToUtf8(config->productVersion);
  try {
    const json document = options.campaignCode.empty() ? ReadDocument(options.documentPath)
                                                       : RequestDocument(options.campaignCode, *config);
    const rules::Judgement judgement = rules::JudgeDocument(document, *config);
    Write(STD_OUTPUT_HANDLE,
          options.json ? rules::JsonReport(head, judgement).dump(2, ' ', false, json::error_handler_t::replace) + "\r\n"
                       : rules::TextReport(head, judgement));
    return kJudged;
  } catch (const rules::UnusableDocument& unusable) {
    if (options.json) {
      Write(STD_OUTPUT_HANDLE, json{{"source", head.source}, {"error", unusable.what()}}.dump(
                                   2, ' ', false, json::error_handler_t::replace) +
                                   "\r\n");
    }
    Write(STD_ERROR_HANDLE,
          std::string("BrindleRules: the wizard cannot use this document: ") + unusable.what() + "\r\n");
    return kUnusableDocument;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  win32::RestrictDllSearchPath();
  const std::vector<std::wstring> arguments(argv + std::min(argc, 1), argv + argc);
  std::wstring error;
  const auto options = rules::ParseCommandLine(arguments, error);
  if (!options) {
    Write(STD_ERROR_HANDLE, "BrindleRules: " + win32::WideToUtf8(error) + "\r\n" + win32::WideToUtf8(rules::kUsage));
    return kUsageError;
  }
  if (options->help) {
    Write(STD_OUTPUT_HANDLE, win32::WideToUtf8(rules::kUsage));
    return kJudged;
  }
  try {
    return Run(*options);
  } catch (const std::exception& failure) {
    Write(STD_ERROR_HANDLE, std::string("BrindleRules: ") + failure.what() + "\r\n");
  }
  return kFailed;
}
