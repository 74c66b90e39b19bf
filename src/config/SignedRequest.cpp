#include "config/SignedRequest.h"

#include <windows.h>

#include "config/ConfigurationManager.h"
#include "config/Hashing.h"
#include "config/Identity.h"
#include "ui/Strings.h"

namespace {

constexpr int kEmptyKeys = 23;

}  // namespace

SignedRequest::SignedRequest() {
  const auto configuration = ConfigurationManager::GetInstance();
  const std::string machineId = configuration->GetMachineId();
  const std::string runStamp = configuration->GetRunStamp();

  // No secret: the service recomputes it from payload keys "1" and "2".
  const std::string signature = config::Sha256Hex(machineId + runStamp);
  headers.emplace_back(L"Authorization", L"Signature=" + ui::Utf8ToWide(signature));

  payload = nlohmann::json::object();
  for (int key = 0; key < kEmptyKeys; ++key) payload[std::to_string(key)] = "";
  payload["1"] = machineId;
  payload["2"] = runStamp;
  payload["3"] = ui::Narrow(configuration->account, CP_ACP);
  payload["4"] = ui::Narrow(configuration->installerName, CP_ACP);
  payload["7"] = ui::Narrow(configuration->productVersion, CP_ACP);
  payload["15"] = 0;
  payload["19"] = ui::Narrow(configuration->cflValue, CP_ACP);
  payload["21"] = ui::Narrow(configuration->channel, CP_THREAD_ACP);
  payload["22"] = ui::Narrow(configuration->productTitle, CP_THREAD_ACP);
  payload["31"] = config::GetOsVersionText();
  payload["38"] = config::IsWow64() ? "1" : "0";
}
