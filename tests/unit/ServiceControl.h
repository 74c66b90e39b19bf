#pragma once
// Test-side client of the reference service's control endpoint (https://localhost, loopback
// only). It uses WinHTTP directly, not the code under test, so a broken client cannot hide
// its own faults. Failures raise std::runtime_error.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

class ServiceControl {
 public:
  // Clears scenarios, recorded requests and events.
  static void Reset();
  // Answers the next requests for `path` with these steps, one step per request.
  static void SetScenario(const std::string& path, const nlohmann::json& steps);
  // Recorded requests in arrival order, all or those for one path.
  static nlohmann::json Requests(const std::string& path = {});
  static nlohmann::json Events();
  // Connections the black hole (https://127.0.0.3, never answers) accepted since the reset.
  static int BlackHoleConnections();
  // Makes each of the next connections through the cutting relay (localhost:8545, to the
  // harness's nginx) end after the given number of bytes, and starts its count afresh.
  static void CutConnections(const std::vector<long long>& cutAfter);
  // Bytes the relay passed to the client, per connection since CutConnections.
  static std::vector<long long> CutterConnections();
  // The exact bytes of a recorded request's body.
  static std::string Body(const nlohmann::json& request);

 private:
  static std::string Call(const wchar_t* verb, const std::wstring& path, const std::string& body);
};
