#pragma once
// One GET over WinINet, the fallback transport. Redirects are followed by hand under the same
// rules as WinHTTP's (at most five, never from HTTPS to HTTP): WinINet's own following would
// already have sent the request over the downgraded connection. Only status 200 is accepted.
// Nothing goes into the user's internet cache. Every failure raises DownloadError
// (DownloadCancelled when `cancelled` was raised between two reads).
#include <atomic>
#include <string>

#include "download/TransferSink.h"

namespace download {

// `headers` go with every hop; with them a 206 is accepted too.
void WinInetGet(const std::wstring& url, const std::atomic<bool>& cancelled, TransferSink& sink,
                const std::wstring& headers = {});

}  // namespace download
