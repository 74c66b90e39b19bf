#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "config/ApiManager.h"
#include "config/NetworkPolicy.h"
#include "config/Urls.h"
#include "win32/DebugLog.h"
#include "win32/Strings.h"
#include "win32/WinHttpHandle.h"

namespace {

struct Hop {
  std::wstring host;
  INTERNET_PORT port = INTERNET_DEFAULT_HTTPS_PORT;
  std::wstring object;
};

// The configured URL is always reached on the HTTPS port and without its query; a redirect
// target is taken as it stands, as the platform would.
std::optional<Hop> SplitUrl(const std::wstring& url, bool configured) {
  URL_COMPONENTS parts;
  if (!win32::CrackUrl(url, parts)) return std::nullopt;
  Hop hop;
  if (parts.lpszHostName != nullptr) hop.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  if (parts.lpszUrlPath != nullptr) hop.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (!configured) {
    hop.port = parts.nPort;
    if (parts.lpszExtraInfo != nullptr) {
      const std::wstring_view extra(parts.lpszExtraInfo, parts.dwExtraInfoLength);
      hop.object += extra.substr(0, extra.find(L'#'));
    }
  }
  return hop;
}

bool IsFollowedRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<std::wstring> QueryLocation(HINTERNET request) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return std::nullopt;
  std::wstring location(size / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  location.resize(size / sizeof(wchar_t));
  return location;
}

// False when the body would pass `limit`; `response` then keeps only what it held before.
bool ReadResponse(HINTERNET request, std::string& response, std::size_t limit) {
  const std::size_t kept = response.size();
  std::size_t received = 0;
  for (;;) {
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available)) {
      win32::DebugLine("Error " + std::to_string(::GetLastError()) + " in WinHttpQueryDataAvailable.");
      return true;
    }
    if (available == 0) return true;
    if (available > limit - received) {
      win32::DebugLine("Response larger than " + std::to_string(limit) + " bytes; request failed.");
      response.resize(kept);
      return false;
    }
    std::unique_ptr<char[]> chunk(new (std::nothrow) char[available + 1]());
    if (!chunk) {
      win32::DebugLine("Out of memory");
      return true;
    }
    DWORD read = 0;
    if (!::WinHttpReadData(request, chunk.get(), available, &read)) {
      // Ending here keeps the loop bounded should the request stay readable but broken.
      win32::DebugLine("Error " + std::to_string(::GetLastError()) + " in WinHttpReadData.");
      return true;
    }
    received += read;
    response.append(chunk.get(), ::strnlen(chunk.get(), read));
  }
}

}  // namespace

bool PostJson(const std::wstring& url, const std::string& body, const HeaderList& headers, std::string& response,
              DWORD& status, std::size_t maxResponseBytes) {
  // The service speaks TLS 1.2 only, which Windows 7 gets with its first service pack.
  if (config::IsWindows7WithoutServicePack()) return false;

  win32::UniqueWinHttp session(config::OpenWinHttpSession(nullptr));
  if (!session) return false;
  DWORD protocols = config::WinHttpSecureProtocols();
  ::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
  if (!config::SetWinHttpTimeouts(session.get())) return false;

  std::wstring current = url;
  bool post = true;
  for (int redirects = 0;; ++redirects) {
    const std::optional<Hop> hop = SplitUrl(current, redirects == 0);
    if (!hop) return false;
    win32::UniqueWinHttp connection(::WinHttpConnect(session.get(), hop->host.c_str(), hop->port, 0));
    if (!connection) return false;
    win32::UniqueWinHttp request(::WinHttpOpenRequest(connection.get(), post ? L"POST" : L"GET", hop->object.c_str(),
                                                      nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                      WINHTTP_FLAG_SECURE));
    if (!request) return false;
    // Redirects are followed here, counted and checked like the downloads'; Wine's own following
    // also fails a 3xx without Location instead of handing it over as the answer.
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof(disabled));

    HeaderList allHeaders = headers;
    if (post) {
      allHeaders.emplace_back(L"Expect", L"100-continue");
      allHeaders.emplace_back(L"Content-Type", L"application/json");
    }
    for (const auto& [name, value] : allHeaders) {
      const std::wstring line = name + L": " + value;
      if (!::WinHttpAddRequestHeaders(request.get(), line.c_str(), static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD)) {
        win32::DebugLine("WinHttpAddRequestHeaders error: " + std::to_string(::GetLastError()));
      }
    }

    const DWORD length = post ? static_cast<DWORD>(::strlen(body.c_str())) : 0;
    void* data = post ? const_cast<char*>(body.c_str()) : WINHTTP_NO_REQUEST_DATA;
    const bool answered =
        ::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, length, length, 0) &&
        ::WinHttpReceiveResponse(request.get(), nullptr);
    if (!answered) return false;

    DWORD size = sizeof(status);
    ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    // A 3xx without a Location is the service's answer, as it is for the platform.
    const auto location = IsFollowedRedirect(status) ? QueryLocation(request.get()) : std::nullopt;
    if (!location) return ReadResponse(request.get(), response, maxResponseBytes);

    if (redirects == config::kMaxRedirects) {
      win32::DebugLine("Too many redirects.");
      return false;
    }
    const auto next = config::ResolveLocation(current, *location);
    if (!next || !config::IsHttpsUrl(*next)) {
      win32::DebugLine("Redirect refused: " + win32::Narrow(*location, CP_ACP));
      return false;
    }
    current = *next;
    // 307 and 308 repeat the request as it was; the others turn it into a GET, as browsers do.
    post = post && (status == 307 || status == 308);
  }
}
