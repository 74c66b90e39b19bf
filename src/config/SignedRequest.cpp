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

  for (int key = 0; key < kEmptyKeys; ++key) payload.Set(std::to_string(key), "");
  payload.Set("1", machineId);
  payload.Set("2", runStamp);
  payload.Set("3", win32::Narrow(config.account, CP_ACP));
  payload.Set("4", win32::Narrow(config.installerName, CP_ACP));
  payload.Set("7", win32::Narrow(config.productVersion, CP_ACP));
  payload.SetNumber("15", 0);
  payload.Set("19", win32::Narrow(config.cflValue, CP_ACP));
  payload.Set("21", win32::Narrow(config.channel, CP_THREAD_ACP));
  payload.Set("22", win32::Narrow(config.productTitle, CP_THREAD_ACP));
  payload.Set("31", config::GetOsVersionText());
  payload.Set("38", config::IsWow64() ? "1" : "0");
}
