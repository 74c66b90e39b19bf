#include "download/RedirectUrl.h"

#include "config/Urls.h"
#include "download/DownloadError.h"

namespace download {

std::wstring NextRedirectUrl(const std::wstring& current, const std::wstring& location) {
  const auto next = config::ResolveLocation(current, location);
  if (!next) throw DownloadError(L"Invalid redirect location: " + location);
  // An elevated installer must never come from a downgraded connection.
  if (config::IsHttpsUrl(current) && !config::IsHttpsUrl(*next)) {
    throw DownloadError(L"Redirect from HTTPS to HTTP refused: " + *next);
  }
  return *next;
}

}  // namespace download
