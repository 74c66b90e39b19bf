#pragma once
// The wizard's one transport to its remote service: JSON over HTTPS POST.
#include <windows.h>

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <memory>
#include <string>

#include "config/SignedRequest.h"

// The largest answers kept in memory: the configuration document, and an event's answer (which
// nobody reads).
inline constexpr std::size_t kMaxConfigurationBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kMaxEventResponseBytes = 64 * 1024;

// Posts `body` to an HTTPS URL (always port 443, without its query) with the extra headers plus
// "Expect: 100-continue" and "Content-Type: application/json"; appends the answer to `response`.
// True when a response was received, whatever its status. Redirects (301, 302, 303, 307, 308
// with a Location) are followed up to five times: 307 and 308 repeat the POST with its body,
// the others become a GET; a sixth, one that leaves HTTPS, or an answer larger than
// `maxResponseBytes` gives false, as does every other failure; it never raises.
bool PostJson(const std::wstring& url, const std::string& body, const HeaderList& headers, std::string& response,
              DWORD& status, std::size_t maxResponseBytes = kMaxConfigurationBytes);

class ConfigurationManager;

class ApiManager {
 public:
  static std::shared_ptr<ApiManager> GetInstance();

  // Asks the service for the configuration document; raises on failure (any std::exception).
  std::unique_ptr<nlohmann::json> RequestConfiguration(ConfigurationManager& config);
  // The same for a campaign code given instead of the one in the program's file name.
  std::unique_ptr<nlohmann::json> RequestConfiguration(ConfigurationManager& config, const std::wstring& campaignCode);
};
