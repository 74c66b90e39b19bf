#pragma once
// The wizard's one transport to its remote service: JSON over HTTPS POST.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

#include "config/SignedRequest.h"

// Posts `body` to an HTTPS URL (always port 443) with the extra headers plus
// "Expect: 100-continue" and "Content-Type: application/json"; appends the answer to `response`.
// True when a response was received, whatever its status. Raises BrindleException only on a
// Windows 7 system without Service Pack 1 and on a URL that cannot be split.
bool PostJson(const std::wstring& url, const std::string& body, const HeaderList& headers, std::string& response,
              DWORD& status);

class ApiManager {
 public:
  static std::shared_ptr<ApiManager> GetInstance();

  // Asks the service for the configuration document; raises on failure (any std::exception).
  std::unique_ptr<nlohmann::json> RequestConfiguration();
};
