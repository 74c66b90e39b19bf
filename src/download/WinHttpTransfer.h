#pragma once
// One GET over WinHTTP with the build's time-outs. Redirects are followed by hand: at most five
// per `redirects` counter, never from HTTPS to HTTP. Every failure raises DownloadError
// (DownloadCancelled when `cancelled` was raised between two chunks). `headers` go with every
// hop ("Name: value" lines separated by CRLF).
#include <atomic>
#include <string>

#include "download/TransferSink.h"

namespace download {

enum class WinHttpPurpose {
  File,    // no user agent
  Memory,  // the image loader's agent string, no cached answers
};

void WinHttpGet(const std::wstring& url, WinHttpPurpose purpose, int& redirects, const std::atomic<bool>& cancelled,
                TransferSink& sink, const std::wstring& headers = {});

}  // namespace download
