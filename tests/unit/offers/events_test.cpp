// Package events against the reference service (https://localhost/zbd).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>

#include "ServiceControl.h"
#include "config/BuildSettings.h"
#include "config/ConfigurationManager.h"
#include "config/Hashing.h"
#include "offers/Package.h"

using nlohmann::json;

namespace {

json Offer(const char* id) {
  json offer =
      json::parse(R"({"ad": {"f": "ad-token"}, "ps": {"i": "i.png", "dn": "Name", "u": "https://x.example/s.exe",
                                 "c": "track"}})");
  offer["ad"]["o"] = id;
  return offer;
}

std::shared_ptr<Package> MakeOffer(const char* id = "offer-1") {
  return Package::Offer(*ConfigurationManager::GetInstance(), Offer(id), 0);
}

class Events : public ::testing::Test {
 protected:
  void SetUp() override { ServiceControl::Reset(); }
};

// The body is compared with a serialisation written out here by hand: keys in byte order,
// compact, numbers unquoted.
std::string ExpectedBody(const std::map<std::string, std::string>& payload) {
  std::string data = "{";
  for (const auto& [key, value] : payload) {
    if (data.size() > 1) data += ",";
    data += "\"" + key + "\":" + value;
  }
  data += "}";
  std::string escaped;
  for (const char c : data) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return "{\"data\":\"" + escaped + "\",\"table\":\"zb_analytics\"}";
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

TEST_F(Events, BodyBytesAndSignatureOfOneEvent) {
  auto config = ConfigurationManager::GetInstance();
  auto package = MakeOffer();
  package->SendEvent(EVENT_NOT_SHOWN, {{"13", "TOO LITTLE MEMORY"}});
  package->WaitForEvents();

  std::map<std::string, std::string> payload;
  for (int key = 0; key <= 22; ++key) payload[std::to_string(key)] = Quoted("");
  payload["1"] = Quoted(config->GetMachineId());
  payload["2"] = Quoted(config->GetRunStamp());
  payload["3"] = Quoted("Tavrel");
  payload["4"] = Quoted("Tavrel_DLM");
  payload["5"] = Quoted("offer-1");
  payload["6"] = Quoted("2");
  payload["7"] = Quoted("3.2.2.12299");
  payload["10"] = "2";
  payload["13"] = Quoted("TOO LITTLE MEMORY");
  payload["15"] = "0";
  payload["16"] = Quoted("track");
  payload["17"] = Quoted("1");
  payload["18"] = Quoted("ad-token");
  payload["31"] = Quoted(package->m_eventTemplate.Text("31"));
  payload["38"] = Quoted(package->m_eventTemplate.Text("38"));

  const json requests = ServiceControl::Requests("/zbd");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(ServiceControl::Body(requests[0]), ExpectedBody(payload));
  const json& headers = requests[0]["headers"];
  EXPECT_EQ(headers["Authorization"], "Signature=" + config::Sha256Hex(config->GetMachineId() + config->GetRunStamp()));
  EXPECT_EQ(headers["Content-Type"], "application/json");

  const json events = ServiceControl::Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0]["signature_ok"].get<bool>());
  EXPECT_EQ(events[0]["event_id"], "2");
}

TEST_F(Events, ExtraKeysReplaceTemplateKeys) {
  auto package = MakeOffer();
  package->SendEvent(EVENT_STARTED, {{"5", "replaced"}, {"12", "DOWNLOAD FAILED: x"}});
  package->WaitForEvents();
  const json events = ServiceControl::Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["data"]["5"], "replaced");
  EXPECT_EQ(events[0]["data"]["12"], "DOWNLOAD FAILED: x");
  EXPECT_EQ(events[0]["data"]["6"], "1");
  EXPECT_FALSE(package->EventsClosed());  // id 1 is not terminal
}

TEST_F(Events, EveryTerminalIdClosesThePackageAndIdOneDoesNot) {
  for (const int id : {EVENT_FAILED, EVENT_STARTED, EVENT_NOT_SHOWN, EVENT_FINISHED, EVENT_DECLINED, EVENT_CLOSED}) {
    ServiceControl::Reset();
    auto package = MakeOffer();
    package->SendEvent(id, {});
    package->WaitForEvents();
    const bool terminal = id != EVENT_STARTED;
    EXPECT_EQ(package->EventsClosed(), terminal) << id;
    // A closed package sends nothing more.
    package->SendEvent(EVENT_CLOSED, {});
    package->WaitForEvents();
    EXPECT_EQ(ServiceControl::Requests("/zbd").size(), terminal ? 1u : 2u) << id;
  }
}

TEST_F(Events, RedirectedEventIsRecordedAtTheFinalTarget) {
  for (const int status : {307, 308}) {
    ServiceControl::Reset();
    ServiceControl::SetScenario("/zbd",
                                json::array({{{"status", status}, {"headers", {{"Location", "/zbd?moved=1"}}}}}));
    auto package = MakeOffer();
    package->SendEvent(EVENT_DECLINED, {});
    package->WaitForEvents();
    const json events = ServiceControl::Events();
    ASSERT_EQ(events.size(), 1u) << status;
    EXPECT_TRUE(events[0]["signature_ok"].get<bool>());
    EXPECT_EQ(ServiceControl::Requests("/zbd").at(1).at("query"), "moved=1");
    EXPECT_TRUE(package->EventsClosed());
  }
}

TEST_F(Events, TwoFailuresDropTheEventAndLeaveThePackageOpen) {
  ServiceControl::SetScenario("/zbd", json::array({{{"status", 500}}, {{"status", 500}}}));
  auto package = MakeOffer();
  package->SendEvent(EVENT_DECLINED, {});
  package->WaitForEvents();
  EXPECT_EQ(ServiceControl::Requests("/zbd").size(), 2u);
  EXPECT_TRUE(ServiceControl::Events().empty());
  EXPECT_FALSE(package->EventsClosed());

  // The close event still goes out, since the decline never arrived.
  package->SendEvent(EVENT_CLOSED, {});
  package->WaitForEvents();
  const json events = ServiceControl::Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]["event_id"], "5");
  EXPECT_TRUE(package->EventsClosed());
}

TEST_F(Events, SecondAttemptDelivers) {
  ServiceControl::SetScenario("/zbd", json::array({{{"status", 503}}}));
  auto package = MakeOffer();
  package->SendEvent(EVENT_FINISHED, {});
  package->WaitForEvents();
  EXPECT_EQ(ServiceControl::Requests("/zbd").size(), 2u);
  EXPECT_EQ(ServiceControl::Events().size(), 1u);
  EXPECT_TRUE(package->EventsClosed());
}

TEST_F(Events, UnserialisableEventIsDropped) {
  auto package = MakeOffer();
  package->SendEvent(EVENT_NOT_SHOWN, {{"13", std::string("\xff\xfe bad utf-8")}});
  package->WaitForEvents();
  EXPECT_TRUE(ServiceControl::Requests("/zbd").empty());
  EXPECT_FALSE(package->EventsClosed());
}

// The service holds the answer back: had the wait returned early, nothing would be recorded yet.
TEST_F(Events, WaitReturnsOnlyAfterEventsInFlightEnd) {
  ServiceControl::SetScenario("/zbd", json::array({{{"delay_ms", 1500}}, {{"delay_ms", 1500}}}));
  auto package = MakeOffer();
  package->SendEvent(EVENT_STARTED, {});
  package->SendEvent(EVENT_STARTED, {});
  package->WaitForEvents();
  EXPECT_EQ(ServiceControl::Events().size(), 2u) << ServiceControl::Events().dump();
}

TEST_F(Events, ADroppedPackagesEventIsStillDelivered) {
  ServiceControl::SetScenario("/zbd", json::array({{{"delay_ms", 500}}}));
  MakeOffer()->SendEvent(EVENT_NOT_SHOWN, {{"13", "REJECTED"}});
  EXPECT_TRUE(Package::WaitForAllEventsUntil(std::chrono::steady_clock::now() + std::chrono::seconds(30)));
  EXPECT_EQ(ServiceControl::Events().size(), 1u);
}

TEST_F(Events, WaitUntilADeadlineReportsWhetherEventsAreStillInFlight) {
  ServiceControl::SetScenario("/zbd", json::array({{{"delay_ms", 1500}}}));
  auto package = MakeOffer();
  package->SendEvent(EVENT_STARTED, {});
  EXPECT_FALSE(package->WaitForEventsUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(200)));
  EXPECT_TRUE(package->WaitForEventsUntil(std::chrono::steady_clock::now() + std::chrono::seconds(30)));
  EXPECT_EQ(ServiceControl::Events().size(), 1u);
}

// Packages whose events go to a peer that never answers: the sends end at the time-outs,
// dropping a package never waits for them, and the wizard's exit still sees them in flight.
TEST_F(Events, UnansweredEventsEndInBoundedTimeAndDroppedPackagesNeverWait) {
  auto configuration = ConfigurationManager::GetInstance();
  const std::wstring savedUrl = configuration->eventsUrl;
  configuration->eventsUrl = L"https://127.0.0.3/zbd";
  auto waited = MakeOffer();
  std::vector<std::shared_ptr<Package>> dropped = {MakeOffer(), MakeOffer(), MakeOffer()};
  const auto started = std::chrono::steady_clock::now();
  waited->SendEvent(EVENT_CLOSED, {});
  for (auto& package : dropped) package->SendEvent(EVENT_CLOSED, {});
  configuration->eventsUrl = savedUrl;

  dropped.clear();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
  EXPECT_TRUE(waited->WaitForEventsUntil(started + std::chrono::seconds(30)));
  EXPECT_TRUE(Package::WaitForAllEventsUntil(started + std::chrono::seconds(30)));
  EXPECT_FALSE(waited->EventsClosed());
  EXPECT_GE(ServiceControl::BlackHoleConnections(), 8);  // two attempts each, dropped ones included
}

TEST_F(Events, ManyPackagesAndEventsAtOnce) {
  constexpr int kPackages = 12;
  constexpr int kEventsEach = 8;
  std::vector<std::shared_ptr<Package>> packages;
  for (int i = 0; i < kPackages; ++i) packages.push_back(MakeOffer(("stress-" + std::to_string(i)).c_str()));
  // Id 1 is not terminal, so every event of every package is sent; the packages are dropped
  // while their events are still in flight, which go on without them.
  for (int round = 0; round < kEventsEach; ++round) {
    for (auto& package : packages) package->SendEvent(EVENT_STARTED, {{"13", std::to_string(round)}});
  }
  packages.clear();
  json events = ServiceControl::Events();
  for (int i = 0; i < 600 && events.size() < static_cast<std::size_t>(kPackages * kEventsEach); ++i) {
    ::Sleep(100);
    events = ServiceControl::Events();
  }
  EXPECT_EQ(events.size(), static_cast<std::size_t>(kPackages * kEventsEach));
  std::map<std::string, int> perOffer;
  for (const json& event : events) ++perOffer[event["data"]["5"].get<std::string>()];
  EXPECT_EQ(perOffer.size(), static_cast<std::size_t>(kPackages));
  for (const auto& [offer, count] : perOffer) EXPECT_EQ(count, kEventsEach) << offer;
}

}  // namespace
