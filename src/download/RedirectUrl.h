#pragma once
// Where a download's redirect leads (see config::ResolveLocation), or why it may not go there.
#include <string>

namespace download {

// The URL to go to next, or DownloadError when the value is unusable or would leave HTTPS.
std::wstring NextRedirectUrl(const std::wstring& current, const std::wstring& location);

}  // namespace download
