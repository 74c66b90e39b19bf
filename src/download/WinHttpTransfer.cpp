#include "download/WinHttpTransfer.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "config/NetworkPolicy.h"
#include "config/Urls.h"
#include "download/DownloadError.h"
#include "download/RedirectUrl.h"
#include "win32/WinHttpHandle.h"

namespace download {
namespace {

struct RequestTarget {
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query
  bool secure = false;
};

RequestTarget SplitUrl(const std::wstring& url) {
  URL_COMPONENTS parts;
  if (!win32::CrackUrl(url, parts)) ThrowLastError(L"Failed to parse URL: ");
  RequestTarget target;
  if (parts.lpszHostName != nullptr) target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  target.port = parts.nPort;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  // The path pointer runs to the end of the URL, so the query goes along; a fragment never
  // leaves the client.
  if (parts.lpszUrlPath != nullptr) {
    const std::wstring_view object(parts.lpszUrlPath);
    target.object = object.substr(0, object.find(L'#'));
  }
  return target;
}

win32::UniqueWinHttp OpenSession(WinHttpPurpose purpose) {
  const wchar_t* agent = purpose == WinHttpPurpose::File ? nullptr : L"A WinHTTP Example Program/1.0";
  win32::UniqueWinHttp session(config::OpenWinHttpSession(agent));
  if (!session) ThrowLastError(L"Failed to open HTTP session: ");
  DWORD protocols = config::WinHttpSecureProtocols();
  if (!::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) {
    ThrowLastError(L"Failed to set secure protocols: ");
  }
  if (!config::SetWinHttpTimeouts(session.get())) ThrowLastError(L"Failed to set time-outs: ");
  return session;
}

// A failed query reads as absent; the status then counts as 0.
std::optional<DWORD> QueryNumber(HINTERNET request, DWORD query) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (!::WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return value;
}

// A header's text; empty when absent or longer than any value the engine uses.
std::wstring QueryText(HINTERNET request, DWORD query) {
  wchar_t buffer[256] = {};
  DWORD size = sizeof(buffer);
  if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &size, WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  return std::wstring(buffer, std::min<DWORD>(size / sizeof(wchar_t), 255));
}

std::wstring QueryLocation(HINTERNET request) {
  wchar_t buffer[config::kLocationUnits] = {};
  DWORD size = sizeof(buffer);
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_INSUFFICIENT_BUFFER) throw DownloadError(L"Redirect location is too long.");
    if (error == ERROR_WINHTTP_HEADER_NOT_FOUND) throw DownloadError(L"Redirect without a Location header.");
    ThrowSystemError(L"Failed to query redirect location: ", error);
  }
  std::wstring location(buffer, std::min<DWORD>(size / sizeof(wchar_t), config::kLocationUnits));
  if (location.empty()) throw DownloadError(L"Redirect without a Location header.");
  return location;
}

void ReadBody(HINTERNET request, const std::atomic<bool>& cancelled, TransferSink& sink) {
  for (;;) {
    if (cancelled) throw DownloadCancelled();
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available)) ThrowLastError(L"Failed to query data: ");
    if (available == 0) return;
    // The extra byte keeps the chunk NUL-terminated; a count that cannot get one is refused.
    std::unique_ptr<char[]> chunk(available < MAXDWORD ? new (std::nothrow) char[available + 1]() : nullptr);
    if (!chunk) throw DownloadError(L"Out of memory.");
    DWORD read = 0;
    if (!::WinHttpReadData(request, chunk.get(), available, &read)) ThrowLastError(L"Failed to read data: ");
    sink.OnData(chunk.get(), read);
  }
}

}  // namespace

void WinHttpGet(const std::wstring& url, WinHttpPurpose purpose, int& redirects, const std::atomic<bool>& cancelled,
                TransferSink& sink, const std::wstring& headers) {
  std::wstring current = url;
  // Every pass either ends the transfer or counts one redirect, so the loop is bounded.
  for (;;) {
    sink.OnProgress();
    win32::UniqueWinHttp session = OpenSession(purpose);
    const RequestTarget target = SplitUrl(current);
    win32::UniqueWinHttp connection(::WinHttpConnect(session.get(), target.host.c_str(), target.port, 0));
    if (!connection) ThrowLastError(L"Failed to connect: ");
    DWORD flags = target.secure ? WINHTTP_FLAG_SECURE : 0;
    if (purpose == WinHttpPurpose::Memory) flags |= WINHTTP_FLAG_REFRESH;
    win32::UniqueWinHttp request(::WinHttpOpenRequest(connection.get(), L"GET", target.object.c_str(), nullptr,
                                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request) ThrowLastError(L"Failed to open request: ");
    // WinHTTP would follow redirects on its own; each hop must be counted and checked here.
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
    if (!::WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof(disabled))) {
      ThrowLastError(L"Failed to open request: ");
    }
    const wchar_t* extra = headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str();
    const DWORD extraLength = headers.empty() ? 0 : static_cast<DWORD>(-1);
    if (!::WinHttpSendRequest(request.get(), extra, extraLength, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
      ThrowLastError(L"Failed to send request: ");
    }
    if (!::WinHttpReceiveResponse(request.get(), nullptr)) ThrowLastError(L"Failed to receive response: ");

    const DWORD status = QueryNumber(request.get(), WINHTTP_QUERY_STATUS_CODE).value_or(0);
    if (status >= 300 && status <= 399) {
      if (++redirects > config::kMaxRedirects) throw DownloadError(L"Too many redirects.");
      current = NextRedirectUrl(current, QueryLocation(request.get()));
      continue;
    }
    if (status < 200 || status > 299) {
      throw DownloadError(L"Download failed: Server returned status code: " + std::to_wstring(status));
    }
    ResponseHead head;
    head.status = status;
    head.length = QueryNumber(request.get(), WINHTTP_QUERY_CONTENT_LENGTH);
    head.etag = QueryText(request.get(), WINHTTP_QUERY_ETAG);
    head.lastModified = QueryText(request.get(), WINHTTP_QUERY_LAST_MODIFIED);
    head.contentRange = QueryText(request.get(), WINHTTP_QUERY_CONTENT_RANGE);
    sink.OnHead(head);
    ReadBody(request.get(), cancelled, sink);
    return;
  }
}

}  // namespace download
