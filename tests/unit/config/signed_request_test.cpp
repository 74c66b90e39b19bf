// Event request template: payload keys, the signature header, and the service's check of it.
#include "config/SignedRequest.h"

#include <gtest/gtest.h>

#include "ServiceControl.h"
#include "config/ApiManager.h"
#include "config/ConfigurationManager.h"
#include "config/Hashing.h"

namespace {

using nlohmann::json;

TEST(SignedRequest, PayloadHoldsEveryKeyAndTheSignatureCoversIdAndStamp) {
  const SignedRequest request(*ConfigurationManager::GetInstance());
  const auto configuration = ConfigurationManager::GetInstance();
  const std::string machineId = configuration->GetMachineId();
  const std::string runStamp = configuration->GetRunStamp();
  ASSERT_EQ(runStamp.size(), 14u);

  const json payload = json::parse(request.payload.dump());
  EXPECT_EQ(payload.size(), 25u);  // "0".."22", "31", "38"
  for (int key = 0; key <= 22; ++key) {
    const json& value = payload.at(std::to_string(key));
    if (key == 15) {
      EXPECT_TRUE(value.is_number_integer());
      EXPECT_EQ(value, 0);
    } else {
      EXPECT_TRUE(value.is_string()) << key;
    }
  }
  EXPECT_EQ(payload.at("1"), machineId);
  EXPECT_EQ(payload.at("2"), runStamp);
  EXPECT_EQ(payload.at("0"), "");

  ASSERT_EQ(request.headers.size(), 1u);
  EXPECT_EQ(request.headers[0].first, L"Authorization");
  const std::string expected = config::Sha256Hex(machineId + runStamp);
  EXPECT_EQ(request.headers[0].second, L"Signature=" + std::wstring(expected.begin(), expected.end()));
}

TEST(SignedRequest, TwoInOneRunAreIdentical) {
  const SignedRequest first(*ConfigurationManager::GetInstance());
  const SignedRequest second(*ConfigurationManager::GetInstance());
  EXPECT_EQ(first.payload.dump(), second.payload.dump());
  EXPECT_EQ(first.headers, second.headers);
}

TEST(SignedRequest, ServiceVerifiesTheSignature) {
  ServiceControl::Reset();
  const SignedRequest request(*ConfigurationManager::GetInstance());
  const std::string body = json{{"data", request.payload.dump()}, {"table", "zb_analytics"}}.dump();
  std::string response;
  DWORD status = 0;
  ASSERT_TRUE(PostJson(ConfigurationManager::GetInstance()->eventsUrl, body, request.headers, response, status));
  EXPECT_EQ(status, 200u);
  const json events = ServiceControl::Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].at("signature_ok").get<bool>()) << events[0].dump();
  EXPECT_EQ(events[0].at("table"), "zb_analytics");
}

}  // namespace
