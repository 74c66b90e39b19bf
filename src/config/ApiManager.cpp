#include "config/ApiManager.h"

#include <nlohmann/json.hpp>

#include <mutex>

#include "config/BrindleException.h"
#include "config/BuildSettings.h"
#include "config/ConfigurationManager.h"
#include "config/Identity.h"
#include "config/JsonFields.h"
#include "config/NetworkPolicy.h"
#include "win32/DebugLog.h"
#include "win32/Strings.h"

namespace {

constexpr int kConfigurationAttempts = 3;

config::JsonFields ConfigurationRequestBody(const ConfigurationManager& configuration,
                                            const std::wstring& campaignCode) {
  config::JsonFields body;
  body.Set("prv", "0.1");
  body.Set("plv", win32::Narrow(configuration.productVersion, CP_THREAD_ACP));
  body.Set("l", win32::Narrow(configuration.localeName.substr(0, 2), CP_THREAD_ACP));
  body.Set("a", win32::Narrow(configuration.account, CP_THREAD_ACP));
  body.Set("i", win32::Narrow(configuration.installerName, CP_THREAD_ACP));
  body.Set("s", win32::Narrow(configuration.setupName, CP_THREAD_ACP));
  body.Set("u", win32::Narrow(campaignCode, CP_ACP));
  body.Set("o", config::GetOsVersionText());
  return body;
}

}  // namespace

std::shared_ptr<ApiManager> ApiManager::GetInstance() {
  static win32::MadeOnce<std::shared_ptr<ApiManager>> instance;
  return instance.Get([] { return std::make_shared<ApiManager>(); });
}

std::unique_ptr<nlohmann::json> ApiManager::RequestConfiguration(ConfigurationManager& config) {
  return RequestConfiguration(config, config::GetCampaignCode());
}

std::unique_ptr<nlohmann::json> ApiManager::RequestConfiguration(ConfigurationManager& config,
                                                                 const std::wstring& campaignCode) {
  if (config.configurationUrl.empty()) throw BrindleException("no configuration URL");
  if (config::IsWindows7WithoutServicePack()) throw BrindleException("no TLS 1.2 on Windows 7 without Service Pack 1");
  const config::JsonFields body = ConfigurationRequestBody(config, campaignCode);

  std::string response;
  for (int attempt = 0; attempt < kConfigurationAttempts; ++attempt) {
    // A wizard that is closing wants no configuration any more: no further attempt or pause.
    if (config.exiting) throw BrindleException("the wizard is closing");
    response.clear();
    DWORD status = 0;
    const bool answered = PostJson(config.configurationUrl, body.dump(), {}, response, status, kMaxConfigurationBytes);
    const DWORD error = ::GetLastError();  // before anything else can replace it
    if (answered && status >= 200 && status <= 399) break;
    const std::string failure = "Failed to send config request. " + std::to_string(static_cast<int>(status)) + " " +
                                std::to_string(static_cast<int>(error));
    win32::DebugLine(failure);
    if (attempt + 1 == kConfigurationAttempts) throw BrindleException(failure);
    if (config.exiting) throw BrindleException("the wizard is closing");
    ::Sleep(config::GetBuildSettings().configRetryPauseMs);
  }
  if (response.empty()) throw BrindleException("the configuration service answered with nothing");

  // What json::parse() does without a callback: a syntax error raises the library's parse_error.
  // Called directly, since parse() also instantiates its callback parser (about 14 KB of stub).
  auto document = std::make_unique<nlohmann::json>();
  nlohmann::detail::json_sax_dom_parser<nlohmann::json> builder(*document, true);
  using Input = decltype(nlohmann::detail::input_adapter(response));
  nlohmann::detail::parser<nlohmann::json, Input>(nlohmann::detail::input_adapter(response), nullptr, true, false)
      .sax_parse(&builder, true);
  return document;
}
