// Rejections reach the reference service as "not shown" events with their reasons.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>

#include "ServiceControl.h"
#include "config/ConfigurationManager.h"
#include "offers/OfferRules.h"
#include "offers/Package.h"

using nlohmann::json;

namespace {

TEST(RejectionEvents, ReachTheServiceWithTheirReasons) {
  ServiceControl::Reset();
  const json offers = json::parse(R"([
    {"ad": {"o": "kept", "f": "t"}, "ps": {"i": "i", "dn": "d", "u": "u"}},
    {"ad": {"o": "same-vertical", "f": "t"}, "ps": {"i": "i", "dn": "d", "u": "u"}},
    {"ad": {"o": "unknown-windows", "f": "t"}, "ps": {"i": "i", "dn": "d", "u": "u", "v": 2, "ov": 64}},
    {"ad": {"o": "key-present", "f": "t"}, "ps": {"i": "i", "dn": "d", "u": "u", "v": 3, "r": ["hkcu\\software"]}}
  ])");
  auto config = ConfigurationManager::GetInstance();
  config->maxOffers = 5;
  OfferRules rules(*config);
  std::vector<std::shared_ptr<Package>> accepted, rejected;
  for (const json& offer : offers) {
    auto package = Package::Offer(*ConfigurationManager::GetInstance(), offer, static_cast<int>(accepted.size()));
    bool stop = false;
    (rules.Evaluate(package, stop, accepted) ? accepted : rejected).push_back(package);
  }
  ASSERT_EQ(accepted.size(), 1u);
  for (const auto& package : rejected) package->WaitForEvents();

  std::set<std::pair<std::string, std::string>> received;
  for (const json& event : ServiceControl::Events()) {
    EXPECT_EQ(event["event_id"], "2");
    received.emplace(event["data"]["5"].get<std::string>(), event["data"]["13"].get<std::string>());
  }
  const std::set<std::pair<std::string, std::string>> expected = {
      {"same-vertical", "SAME VERTICAL OFFER ALREADY PRESENT"},
      {"unknown-windows", "UNSUPPORTED OS VERSION"},
      {"key-present", "REGISTRY KEY EXISTS"}};
  EXPECT_EQ(received, expected);
}

}  // namespace
