#pragma once
// Process-wide store of the build constants, the values of the configuration document and the
// state that pages share. Fields are public: other parts read and write them directly.
#include <windows.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/BuildSettings.h"
#include "config/PathTokens.h"
#include "win32/Threads.h"

class ConfigurationManager {
 public:
  static constexpr int kWizardTypeDlm = 1;
  static constexpr int kWizardTypeIsv = 2;

  static std::shared_ptr<ConfigurationManager> GetInstance();

  // Builds a manager for the given build settings; the process-wide instance uses the
  // settings linked into the executable.
  explicit ConfigurationManager(const config::BuildSettings& settings);

  std::string GetRunStamp();
  std::string GetMachineId();
  config::PathTokenTable GetPathTokens();
  void FillPathTokens();

  int wizardType = 0;
  bool btPages = false;
  bool btClassicPages = false;
  bool failuresAsFinished = false;
  std::wstring productTitle;
  std::wstring productUrl;
  std::wstring logoUrl;
  std::wstring privacyUrl;
  std::wstring termsUrl;
  std::wstring wizardPrivacyUrl;
  std::wstring downloadFolder;
  std::wstring productFileName;
  std::wstring workFolder;
  std::wstring productInstallParameters;
  std::array<bool, 8> classicOptions{};
  std::wstring launchPath;
  std::wstring launchArguments;
  std::wstring installerName;
  std::wstring productFilePath;
  std::string productFileSha256;  // of the product file as it was written (DLM: checked at Finish)
  std::string productSha256;      // what the document says the product's SHA-256 must be; empty: anything
  std::wstring productVersion;
  std::wstring configurationUrl;
  std::wstring eventsUrl;
  std::wstring account;
  std::wstring setupName;
  std::wstring channel;
  std::wstring cflValue;
  COLORREF backgroundColor = 0;
  COLORREF accentColor = 0;
  int maxOffers = 0;
  int extraOfferSlots = 0;
  int offerCount = 0;
  std::wstring offerFilesBaseUrl;
  std::wstring languageName;
  std::wstring localeName;
  std::string countryCode;
  std::string publisherId;
  std::string ispbValue;
  std::string runStamp;
  std::string machineId;
  config::PathTokenTable pathTokens;
  bool pathTokensReady = false;
  // Written by the UI thread, read by download and event workers.
  std::atomic<bool> exiting{false};
  bool offerDeclined = false;

 private:
  void ApplyDlmDefaults(const config::BuildSettings& settings);
  void ApplyIsvDefaults(const config::BuildSettings& settings);
  void FillPathTokensLocked();

  // The lazily filled values may be first asked for from a worker thread.
  win32::Mutex m_lazyMutex;
};

// Creates a fresh, uniquely named folder under the temporary path and returns its path; the
// caller checks whether it exists.
std::wstring CreateWorkFolder();

// Local time formatted with "%Y%m%d%H%M%S"; empty when the conversion fails.
std::string FormatLocalTimestamp(long long secondsSince1970, const char* format);
