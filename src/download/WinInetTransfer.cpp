#include "download/WinInetTransfer.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "config/BuildSettings.h"
#include "config/Urls.h"
#include "download/DownloadError.h"
#include "download/DownloadManager.h"
#include "download/RedirectUrl.h"
#include "win32/Strings.h"
#include "win32/WinInetHandle.h"

namespace download {
namespace {

constexpr DWORD kReadBufferSize = 64 * 1024;

// Windows hands the time-outs of a handle down to the handles opened from it; Wine does not
// (send and receive start infinite on every connection), so the URL handle gets them again.
void SetTimeouts(HINTERNET handle, bool connect) {
  const config::BuildSettings& settings = config::GetBuildSettings();
  const std::pair<DWORD, DWORD> options[] = {
      {INTERNET_OPTION_CONNECT_TIMEOUT, settings.connectTimeoutMs},
      {INTERNET_OPTION_SEND_TIMEOUT, settings.sendTimeoutMs},
      {INTERNET_OPTION_RECEIVE_TIMEOUT, settings.receiveTimeoutMs},
  };
  for (const auto& [option, value] : options) {
    if (option == INTERNET_OPTION_CONNECT_TIMEOUT && !connect) continue;
    DWORD milliseconds = value;
    if (!::InternetSetOptionW(handle, option, &milliseconds, sizeof(milliseconds))) {
      ThrowLastError(L"Failed to set time-outs: ");
    }
  }
}

std::optional<DWORD> QueryNumber(HINTERNET file, DWORD query) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (!::HttpQueryInfoW(file, query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) return std::nullopt;
  return value;
}

std::wstring QueryText(HINTERNET file, DWORD query) {
  wchar_t buffer[256] = {};
  DWORD size = sizeof(buffer);
  if (!::HttpQueryInfoW(file, query, buffer, &size, nullptr)) return {};
  return std::wstring(buffer, std::min<DWORD>(size / sizeof(wchar_t), 255));
}

std::wstring QueryLocation(HINTERNET file) {
  wchar_t buffer[config::kLocationUnits] = {};
  DWORD size = sizeof(buffer);
  if (!::HttpQueryInfoW(file, HTTP_QUERY_LOCATION, buffer, &size, nullptr)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_INSUFFICIENT_BUFFER) throw DownloadError(L"Redirect location is too long.");
    if (error == ERROR_HTTP_HEADER_NOT_FOUND) throw DownloadError(L"Redirect without a Location header.");
    ThrowSystemError(L"Failed to query redirect location: ", error);
  }
  std::wstring location(buffer, std::min<DWORD>(size / sizeof(wchar_t), config::kLocationUnits));
  if (location.empty()) throw DownloadError(L"Redirect without a Location header.");
  return location;
}

}  // namespace

void WinInetGet(const std::wstring& url, const std::atomic<bool>& cancelled, TransferSink& sink,
                const std::wstring& headers) {
  win32::UniqueWinInet internet(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) ThrowLastError(L"Failed to initialize WinINet:: ");
  SetTimeouts(internet.get(), true);

  std::wstring current = url;
  win32::UniqueWinInet file;
  DWORD status = 0;
  // Every pass either leaves the loop or counts one redirect, so the loop is bounded.
  for (int redirects = 0;; ++redirects) {
    sink.OnProgress();
    file.reset(::InternetOpenUrlW(internet.get(), current.c_str(), headers.empty() ? nullptr : headers.c_str(),
                                  headers.empty() ? 0 : static_cast<DWORD>(-1),
                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT,
                                  0));
    if (!file) ThrowLastError(L"Failed to open URL:: ");
    const auto answered = QueryNumber(file.get(), HTTP_QUERY_STATUS_CODE);
    if (!answered) ThrowLastError(L"Failed to query HTTP status code: ");
    status = *answered;
    if (status < 300 || status > 399) break;
    if (redirects >= config::kMaxRedirects) throw DownloadError(L"Too many redirects.");
    current = NextRedirectUrl(current, QueryLocation(file.get()));
  }
  // A range is asked for only when resuming; its answer is then checked by the sink.
  if (status != 200 && !(status == 206 && !headers.empty())) {
    const DWORD error = ::GetLastError();
    throw DownloadError(L"Server returned status code: HTTP " + std::to_wstring(status) + L" - " +
                        win32::SystemErrorText(error));
  }
  SetTimeouts(file.get(), false);
  ResponseHead head;
  head.status = status;
  head.length = QueryNumber(file.get(), HTTP_QUERY_CONTENT_LENGTH);
  head.etag = QueryText(file.get(), HTTP_QUERY_ETAG);
  head.lastModified = QueryText(file.get(), HTTP_QUERY_LAST_MODIFIED);
  head.contentRange = QueryText(file.get(), HTTP_QUERY_CONTENT_RANGE);
  sink.OnHead(head);

  const auto buffer = std::make_unique<char[]>(kReadBufferSize);
  for (;;) {
    if (cancelled) throw DownloadCancelled();
    DWORD read = 0;
    // A broken connection is a failure, not the end of the body: without a length nothing
    // else would notice the truncated file.
    if (!::InternetReadFile(file.get(), buffer.get(), kReadBufferSize, &read)) {
      ThrowLastError(L"Failed to read data: ");
    }
    if (read == 0) return;
    sink.OnData(buffer.get(), read);
  }
}

}  // namespace download
