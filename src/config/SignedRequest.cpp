#include "config/SignedRequest.h"

#include <windows.h>

#include "config/ConfigurationManager.h"
#include "config/Hashing.h"
#include "config/Identity.h"
#include "win32/Strings.h"

namespace {

constexpr int kEmptyKeys = 23;

}  // namespace

SignedRequest::SignedRequest(ConfigurationManager& config) {
  const std::string machineId = config.GetMachineId();
  const std::string runStamp = config.GetRunStamp();

  // No secret: the service recomputes it from payload keys "1" and "2".
  const std::string signature = config::Sha256Hex(machineId + runStamp);
  headers.emplace_back(L"Authorization", L"Signature=" + win32::Utf8ToWide(signature));

  payload = nlohmann::json::object();
  for (int key = 0; key < kEmptyKeys; ++key) payload[std::to_string(key)] = "";
  payload["1"] = machineId;
  payload["2"] = runStamp;
  payload["3"] = win32::Narrow(config.account, CP_ACP);
  payload["4"] = win32::Narrow(config.installerName, CP_ACP);
  payload["7"] = win32::Narrow(config.productVersion, CP_ACP);
  payload["15"] = 0;
  payload["19"] = win32::Narrow(config.cflValue, CP_ACP);
  payload["21"] = win32::Narrow(config.channel, CP_THREAD_ACP);
  payload["22"] = win32::Narrow(config.productTitle, CP_THREAD_ACP);
  payload["31"] = config::GetOsVersionText();
  payload["38"] = config::IsWow64() ? "1" : "0";
}
