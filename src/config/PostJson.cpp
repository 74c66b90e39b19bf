#include <cstring>
#include <memory>
#include <new>

#include "config/ApiManager.h"
#include "config/BrindleException.h"
#include "config/DebugLog.h"
#include "config/NetworkPolicy.h"
#include "ui/WinHttpHandle.h"

namespace {

void ReadResponse(HINTERNET request, std::string& response) {
  for (;;) {
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request, &available)) {
      config::DebugLine("Error " + std::to_string(::GetLastError()) + " in WinHttpQueryDataAvailable.");
      return;
    }
    if (available == 0) return;
    std::unique_ptr<char[]> chunk(available < MAXDWORD ? new (std::nothrow) char[available + 1]() : nullptr);
    if (!chunk) {
      config::DebugLine("Out of memory");
      return;
    }
    DWORD read = 0;
    if (!::WinHttpReadData(request, chunk.get(), available, &read)) {
      // Ending here keeps the loop bounded should the request stay readable but broken.
      config::DebugLine("Error " + std::to_string(::GetLastError()) + " in WinHttpReadData.");
      return;
    }
    response.append(chunk.get(), ::strnlen(chunk.get(), read));
  }
}

}  // namespace

bool PostJson(const std::wstring& url, const std::string& body, const HeaderList& headers, std::string& response,
              DWORD& status) {
  if (config::IsWindows7WithoutServicePack()) throw BrindleException();

  URL_COMPONENTS parts;
  if (!ui::CrackUrl(url, parts)) throw BrindleException();
  const std::wstring host =
      parts.lpszHostName != nullptr ? std::wstring(parts.lpszHostName, parts.dwHostNameLength) : std::wstring();
  const std::wstring path =
      parts.lpszUrlPath != nullptr ? std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) : std::wstring();

  HeaderList allHeaders = headers;
  allHeaders.emplace_back(L"Expect", L"100-continue");
  allHeaders.emplace_back(L"Content-Type", L"application/json");

  ui::UniqueWinHttp session(
      ::WinHttpOpen(nullptr, config::WinHttpProxyAccessType(), WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return false;
  DWORD protocols = config::WinHttpSecureProtocols();
  ::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
  // The service is always reached on the HTTPS port, whatever the URL says.
  ui::UniqueWinHttp connection(::WinHttpConnect(session.get(), host.c_str(), INTERNET_DEFAULT_HTTPS_PORT, 0));
  if (!connection) return false;
  ui::UniqueWinHttp request(::WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                 WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!request) return false;
  // A 3xx is the service's answer (the caller accepts 200..399), never a hop to follow; WinHTTP
  // would otherwise re-send the body elsewhere, and Wine fails a 3xx without Location outright.
  DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
  ::WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof(disabled));

  for (const auto& [name, value] : allHeaders) {
    const std::wstring line = name + L": " + value;
    if (!::WinHttpAddRequestHeaders(request.get(), line.c_str(), static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD)) {
      config::DebugLine("WinHttpAddRequestHeaders error: " + std::to_string(::GetLastError()));
    }
  }

  const DWORD length = static_cast<DWORD>(::strlen(body.c_str()));
  const bool answered = ::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                             const_cast<char*>(body.c_str()), length, length, 0) &&
                        ::WinHttpReceiveResponse(request.get(), nullptr);
  if (!answered) return false;

  DWORD size = sizeof(status);
  ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  ReadResponse(request.get(), response);
  return true;
}
