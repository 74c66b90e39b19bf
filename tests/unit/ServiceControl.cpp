#include "ServiceControl.h"

#include <stdexcept>
#include <vector>

#include "win32/Strings.h"
#include "win32/WinHttpHandle.h"

namespace {

std::runtime_error Failure(const char* what) {
  return std::runtime_error(std::string("service control: ") + what + " failed: " + std::to_string(::GetLastError()));
}

std::string Base64Decode(const std::string& text) {
  static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned value = 0;
  int bits = 0;
  for (const char c : text) {
    const auto index = kAlphabet.find(c);
    if (index == std::string::npos) continue;  // padding
    value = (value << 6) | static_cast<unsigned>(index);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((value >> bits) & 0xFF));
    }
  }
  return out;
}

}  // namespace

std::string ServiceControl::Call(const wchar_t* verb, const std::wstring& path, const std::string& body) {
  win32::UniqueWinHttp session(
      ::WinHttpOpen(L"brindle-tests", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) throw Failure("WinHttpOpen");
  win32::UniqueWinHttp connection(::WinHttpConnect(session.get(), L"localhost", INTERNET_DEFAULT_HTTPS_PORT, 0));
  if (!connection) throw Failure("WinHttpConnect");
  win32::UniqueWinHttp request(::WinHttpOpenRequest(connection.get(), verb, path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                    WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!request) throw Failure("WinHttpOpenRequest");
  const wchar_t* type = L"Content-Type: application/json";
  const auto length = static_cast<DWORD>(body.size());
  if (!::WinHttpSendRequest(request.get(), type, static_cast<DWORD>(-1), const_cast<char*>(body.data()), length, length,
                            0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr)) {
    throw Failure("the control request");
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  std::string answer;
  for (;;) {
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request.get(), &available)) throw Failure("reading the answer");
    if (available == 0) break;
    std::vector<char> chunk(available);
    DWORD read = 0;
    if (!::WinHttpReadData(request.get(), chunk.data(), available, &read)) throw Failure("reading the answer");
    answer.append(chunk.data(), read);
  }
  if (status != 200) throw std::runtime_error("service control: status " + std::to_string(status) + ": " + answer);
  return answer;
}

void ServiceControl::Reset() { Call(L"POST", L"/_control/reset", "{}"); }

void ServiceControl::SetScenario(const std::string& path, const nlohmann::json& steps) {
  Call(L"POST", L"/_control/scenario", nlohmann::json{{"path", path}, {"steps", steps}}.dump());
}

nlohmann::json ServiceControl::Requests(const std::string& path) {
  std::wstring target = L"/_control/requests";
  if (!path.empty()) target += L"?path=" + win32::Widen(path, CP_UTF8);
  return nlohmann::json::parse(Call(L"GET", target, {}));
}

nlohmann::json ServiceControl::Events() { return nlohmann::json::parse(Call(L"GET", L"/_control/events", {})); }

int ServiceControl::BlackHoleConnections() {
  return nlohmann::json::parse(Call(L"GET", L"/_control/blackhole", {})).at("accepted").get<int>();
}

void ServiceControl::CutConnections(const std::vector<long long>& cutAfter) {
  Call(L"POST", L"/_control/cutter", nlohmann::json{{"cut_after", cutAfter}}.dump());
}

std::vector<long long> ServiceControl::CutterConnections() {
  return nlohmann::json::parse(Call(L"GET", L"/_control/cutter", {})).at("connections").get<std::vector<long long>>();
}

std::string ServiceControl::Body(const nlohmann::json& request) {
  return Base64Decode(request.at("body_b64").get<std::string>());
}
