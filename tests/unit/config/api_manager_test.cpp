// The configuration request against the reference service: exact body bytes, the retry rule,
// and the ways a request fails.
#include "config/ApiManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "ServiceControl.h"
#include "config/BrindleException.h"
#include "config/BuildSettings.h"
#include "config/ConfigurationManager.h"
#include "config/Identity.h"
#include "win32/Strings.h"
#include "win32/WinHttpHandle.h"

namespace {

using nlohmann::json;

// Keeps the process-wide configuration values a test changes, and puts them back.
class ConfigurationRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ServiceControl::Reset();
    m_savedUrl = m_configuration->configurationUrl;
    m_savedLocale = m_configuration->localeName;
  }
  void TearDown() override {
    m_configuration->configurationUrl = m_savedUrl;
    m_configuration->localeName = m_savedLocale;
  }

  std::shared_ptr<ConfigurationManager> m_configuration = ConfigurationManager::GetInstance();

 private:
  std::wstring m_savedUrl;
  std::wstring m_savedLocale;
};

json Document(const char* marker) { return json{{"marker", marker}}; }

TEST_F(ConfigurationRequestTest, BodyBytesAreCompactAndInKeyOrder) {
  const std::string os = config::GetOsVersionText();
  ASSERT_FALSE(os.empty());
  ServiceControl::SetScenario("/o", json::array({{{"body", Document("a").dump()}}, {{"body", Document("b").dump()}}}));

  m_configuration->localeName = L"";
  EXPECT_EQ(*ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()), Document("a"));
  m_configuration->localeName = L"en_US";
  EXPECT_EQ(*ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()), Document("b"));

  const json requests = ServiceControl::Requests("/o");
  ASSERT_EQ(requests.size(), 2u);
  const std::string fixed = R"("o":")" + os + R"(","plv":"3.2.2.12299","prv":"0.1","s":"Tavrel_3cpp","u":""})";
  EXPECT_EQ(ServiceControl::Body(requests[0]), R"({"a":"Tavrel","i":"Tavrel_DLM","l":"",)" + fixed);
  EXPECT_EQ(ServiceControl::Body(requests[1]), R"({"a":"Tavrel","i":"Tavrel_DLM","l":"en",)" + fixed);
  const json& headers = requests[0].at("headers");
  EXPECT_EQ(requests[0].at("method"), "POST");
  EXPECT_EQ(headers.at("Content-Type"), "application/json");
  EXPECT_EQ(headers.at("Expect"), "100-continue");
  EXPECT_FALSE(headers.contains("Authorization"));
}

TEST_F(ConfigurationRequestTest, ServerErrorsAreRetriedAfterAPause) {
  ServiceControl::SetScenario("/o", json::array({{{"status", 500}, {"body", Document("first").dump()}},
                                                 {{"status", 500}, {"body", Document("second").dump()}},
                                                 {{"body", Document("third").dump()}}}));
  const auto started = std::chrono::steady_clock::now();
  const auto document = ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance());
  const auto elapsed = std::chrono::steady_clock::now() - started;

  EXPECT_EQ(*document, Document("third"));
  EXPECT_EQ(ServiceControl::Requests("/o").size(), 3u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(2 * config::GetBuildSettings().configRetryPauseMs));
}

TEST_F(ConfigurationRequestTest, ThreeFailedTriesAreAllThereIs) {
  ServiceControl::SetScenario(
      "/o", json::array({{{"status", 500}}, {{"status", 500}}, {{"status", 500}}, {{"status", 500}}}));
  EXPECT_THROW(ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()), BrindleException);
  EXPECT_EQ(ServiceControl::Requests("/o").size(), 3u);
}

TEST_F(ConfigurationRequestTest, PermanentlyRedirectedRequestDeliversTheDocument) {
  for (int status : {307, 308}) {
    ServiceControl::Reset();
    ServiceControl::SetScenario("/o", json::array({{{"status", status}, {"headers", {{"Location", "/o?moved=1"}}}},
                                                   {{"body", Document("moved").dump()}}}));
    EXPECT_EQ(*ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()), Document("moved"))
        << status;
    const json requests = ServiceControl::Requests("/o");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].at("query"), "moved=1");
    EXPECT_EQ(ServiceControl::Body(requests[1]), ServiceControl::Body(requests[0]));
  }
}

TEST_F(ConfigurationRequestTest, PeerThatNeverAnswersEndsTheRequestInBoundedTime) {
  m_configuration->configurationUrl = L"https://127.0.0.3/o";
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()), BrindleException);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(40));
  EXPECT_GE(ServiceControl::BlackHoleConnections(), 3);
}

TEST_F(ConfigurationRequestTest, RedirectStatusCountsAsAnswerSoAnEmptyOneFailsAtOnce) {
  ServiceControl::SetScenario("/o", json::array({{{"status", 302}}, {{"body", Document("unused").dump()}}}));
  EXPECT_THROW(ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()), BrindleException);
  EXPECT_EQ(ServiceControl::Requests("/o").size(), 1u);
}

TEST_F(ConfigurationRequestTest, InvalidJsonRaisesTheParseError) {
  ServiceControl::SetScenario("/o", json::array({{{"body", "{\"i\": {\"ct\": \"x\",}"}}}));
  EXPECT_THROW(ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()),
               json::parse_error);
}

TEST_F(ConfigurationRequestTest, ExplicitPortAndQueryAreIgnored) {
  // 8444 is the untrusted listener: reaching it would fail the request.
  m_configuration->configurationUrl = L"https://localhost:8444/o?campaign=x";
  ServiceControl::SetScenario("/o", json::array({{{"body", Document("port").dump()}}}));
  EXPECT_EQ(*ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()), Document("port"));
  const json requests = ServiceControl::Requests("/o");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].at("listener"), "trusted");
  EXPECT_EQ(requests[0].at("query"), "");
}

TEST_F(ConfigurationRequestTest, MissingOrUnusableUrlRaises) {
  m_configuration->configurationUrl = L"";
  EXPECT_THROW(ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()), BrindleException);
  m_configuration->configurationUrl = L"not a url";
  EXPECT_THROW(ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance()), BrindleException);
}

TEST(PostJson, AnyStatusIsAnAnswerAndTheBodyIsAppended) {
  ServiceControl::Reset();
  ServiceControl::SetScenario("/zbd", json::array({{{"status", 404}, {"body", "missing"}}}));
  std::string response = "kept:";
  DWORD status = 0;
  EXPECT_TRUE(PostJson(L"https://localhost/zbd", R"({"k":1})", {{L"X-Test", L"yes"}}, response, status));
  EXPECT_EQ(status, 404u);
  EXPECT_EQ(response, "kept:missing");
  const json requests = ServiceControl::Requests("/zbd");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(ServiceControl::Body(requests[0]), R"({"k":1})");
  EXPECT_EQ(requests[0].at("headers").at("X-Test"), "yes");
}

TEST(PostJson, RedirectsKeepThePostOnlyFor307And308) {
  struct Case {
    int status;
    const char* method;
  };
  for (const Case& c : {Case{307, "POST"}, Case{308, "POST"}, Case{301, "GET"}, Case{302, "GET"}, Case{303, "GET"}}) {
    ServiceControl::Reset();
    ServiceControl::SetScenario("/zbd", json::array({{{"status", c.status}, {"headers", {{"Location", "/next"}}}}}));
    ServiceControl::SetScenario("/next", json::array({{{"body", "there"}}}));
    std::string response;
    DWORD status = 0;
    EXPECT_TRUE(PostJson(L"https://localhost/zbd", R"({"k":1})", {{L"X-Test", L"yes"}}, response, status));
    EXPECT_EQ(response, "there") << c.status;
    const json requests = ServiceControl::Requests("/next");
    ASSERT_EQ(requests.size(), 1u) << c.status;
    EXPECT_EQ(requests[0].at("method"), c.method) << c.status;
    EXPECT_EQ(ServiceControl::Body(requests[0]), c.method == std::string("POST") ? R"({"k":1})" : "");
    EXPECT_EQ(requests[0].at("headers").at("X-Test"), "yes");
  }
}

TEST(PostJson, FiveRedirectsAreFollowedAndASixthOrADowngradeFails) {
  const json hop = {{"status", 307}, {"headers", {{"Location", "/o"}}}};
  for (int hops : {5, 6}) {
    ServiceControl::Reset();
    json steps = json::array();
    for (int i = 0; i < hops; ++i) steps.push_back(hop);
    steps.push_back({{"body", "end"}});
    ServiceControl::SetScenario("/o", steps);
    std::string response;
    DWORD status = 0;
    EXPECT_EQ(PostJson(L"https://localhost/o", "{}", {}, response, status), hops == 5);
    EXPECT_EQ(ServiceControl::Requests("/o").size(), 6u);
  }
  ServiceControl::Reset();
  ServiceControl::SetScenario("/o",
                              json::array({{{"status", 308}, {"headers", {{"Location", "http://localhost:8480/o"}}}}}));
  std::string response;
  DWORD status = 0;
  EXPECT_FALSE(PostJson(L"https://localhost/o", "{}", {}, response, status));
  for (const json& request : ServiceControl::Requests()) EXPECT_NE(request.at("listener"), "plain");
}

TEST(PostJson, AnswerOverTheCapFailsAndKeepsTheResponse) {
  ServiceControl::Reset();
  const std::string atCap(kMaxConfigurationBytes, 'x');
  ServiceControl::SetScenario("/o", json::array({{{"body", atCap}}, {{"body", atCap + "x"}}}));
  for (const bool fits : {true, false}) {
    std::string response = "kept:";
    DWORD status = 0;
    EXPECT_EQ(PostJson(L"https://localhost/o", "{}", {}, response, status), fits);
    EXPECT_EQ(response.size(), fits ? 5 + atCap.size() : 5u);
  }
}

TEST(PostJson, NoListenerIsAFalseResult) {
  // Loopback, but not the address the service listens on.
  std::string response;
  DWORD status = 0;
  EXPECT_FALSE(PostJson(L"https://127.0.0.2/o", "{}", {}, response, status));
  EXPECT_TRUE(response.empty());
}

// Runs only in the copy of this program named setup_nt01-cf.exe (see tests/CMakeLists.txt).
TEST(Campaign, CodeFromTheProgramNameSelectsTheDocument) {
  // The campaign run says so, so a copy that lost its name cannot pass by skipping.
  const char* expected = std::getenv("BRINDLE_EXPECT_CAMPAIGN");
  if (expected == nullptr) GTEST_SKIP() << "only in the run under a campaign file name";
  ASSERT_EQ(config::GetCampaignCode(), win32::Widen(expected, CP_ACP));
  ServiceControl::Reset();
  const auto document = ApiManager::GetInstance()->RequestConfiguration(*ConfigurationManager::GetInstance());
  EXPECT_EQ(document->at("campaign"), "nt01-cf");
  const json requests = ServiceControl::Requests("/o");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(json::parse(ServiceControl::Body(requests[0])).at("u"), "nt01-cf");
}

}  // namespace
