// Mutated configuration documents through everything the loading worker does with one: parse,
// apply, build and judge the offers. Each must end as a configuration error or as an offer list
// the pages can show, quickly, and without a single event leaving the process.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <typeinfo>
#include <unordered_set>

#include "DocumentMutator.h"
#include "EligibilityTestSupport.h"
#include "config/ConfigurationManager.h"
#include "i18n/LocaleTestSupport.h"
#include "offers/ConfigurationLoader.h"
#include "offers/Package.h"
#include "offers/ParameterTable.h"

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint64_t kSeed = 0x4272696E646C65;  // fixed: every run judges the same documents
constexpr std::uint64_t kDocuments = 20000;
// The transfer refuses larger configuration bodies before anything parses them.
constexpr std::size_t kMaxDocumentBytes = 4 * 1024 * 1024;

std::uint64_t EnvironmentNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

json LoadSample() {
  std::ifstream file(BRINDLE_SAMPLE_DOCUMENT, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return json::parse(text.str());
}

// The document values the loading worker writes, put back before each document.
struct DocumentFields {
  explicit DocumentFields(const ConfigurationManager& config)
      : productTitle(config.productTitle),
        productUrl(config.productUrl),
        logoUrl(config.logoUrl),
        productFileName(config.productFileName),
        privacyUrl(config.privacyUrl),
        termsUrl(config.termsUrl),
        channel(config.channel),
        cflValue(config.cflValue),
        countryCode(config.countryCode),
        publisherId(config.publisherId),
        ispbValue(config.ispbValue) {}

  void Restore(ConfigurationManager& config) const {
    config.productTitle = productTitle;
    config.productUrl = productUrl;
    config.logoUrl = logoUrl;
    config.productFileName = productFileName;
    config.privacyUrl = privacyUrl;
    config.termsUrl = termsUrl;
    config.channel = channel;
    config.cflValue = cflValue;
    config.countryCode = countryCode;
    config.publisherId = publisherId;
    config.ispbValue = ispbValue;
    config.maxOffers = 0;
    config.extraOfferSlots = 0;
    config.offerCount = 0;
  }

  std::wstring productTitle, productUrl, logoUrl, productFileName, privacyUrl, termsUrl, channel, cflValue;
  std::string countryCode, publisherId, ispbValue;
};

bool ValidUtf8(const std::string& text) {
  if (text.empty()) return true;
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0) >
         0;
}

// Why a returned offer list could not be shown, or empty when it can.
std::string OfferListFault(const LoadedOffers& loaded, const json& document, const ConfigurationManager& config,
                           int extraOfferSlots) {
  const auto& packages = loaded.packages;
  if (loaded.productUnusable) {
    if (!packages.empty()) return "an unusable product with offers";
    return config.productTitle.empty() || config.productUrl.empty() ? "" : "unusable with a title and a URL";
  }
  if (config.offerCount != static_cast<int>(packages.size())) return "offerCount differs from the list";
  const bool offersRead = document.is_object() && document.contains("o") && config.channel != L"00xA";
  if (!offersRead && !packages.empty()) return "offers without an offer list to read";
  const std::int64_t limit = static_cast<std::int64_t>(config.maxOffers) + extraOfferSlots;
  if (static_cast<std::int64_t>(packages.size()) > std::max<std::int64_t>(limit, 0)) return "more offers than allowed";
  std::unordered_set<int> verticals;
  for (std::size_t i = 0; i < packages.size(); ++i) {
    const Package& package = *packages[i];
    if (package.m_isMainProduct || package.m_index != static_cast<int>(i)) return "wrong identity or index";
    if (!verticals.insert(package.m_vertical).second) return "two offers of one vertical";
    if (package.m_exclusive && packages.size() != 1) return "an exclusive offer beside others";
    if (package.m_offerId.size() > 256) return "an offer id over 256 bytes";
    for (const std::string* text : {&package.m_adToken, &package.m_minProgramVersion, &package.m_offerId}) {
      if (!ValidUtf8(*text)) return "a text that is not UTF-8";
    }
    for (const std::string* text : {&package.m_displayName, &package.m_trackingCode, &package.m_imagePath,
                                    &package.m_downloadUrl, &package.m_installerArgs, &package.m_privacyUrl,
                                    &package.m_termsUrl, &package.m_pn.noShowMarker, &package.m_pn.stubParams}) {
      if (!ValidUtf8(*text)) return "a text that is not UTF-8";
      if (text->size() > ParameterTable::kMaxExpandedBytes) return "an expanded text over the cap";
    }
    try {
      (void)package.m_eventTemplate.dump();
      (void)package.GetDownloadUrl();
    } catch (const std::exception& error) {
      return std::string("events or URL unusable: ") + error.what();
    }
  }
  return {};
}

// The failures the loading worker turns into the configuration error; anything else (a bad
// allocation, a library's internal limit) is a fault of the wizard.
std::string ErrorKind(const std::exception& error) {
  const std::string what = error.what();
  const auto startsWith = [&what](const char* prefix) { return what.rfind(prefix, 0) == 0; };
  if (dynamic_cast<const json::parse_error*>(&error) != nullptr) return "JSON syntax";
  if (dynamic_cast<const json::out_of_range*>(&error) != nullptr) {
    return what.find("406") != std::string::npos ? "JSON syntax" : "missing key";
  }
  if (dynamic_cast<const json::type_error*>(&error) != nullptr) return "wrong type";
  if (dynamic_cast<const std::length_error*>(&error) != nullptr && startsWith("offer text longer than")) {
    return "text over the cap";
  }
  if (dynamic_cast<const std::invalid_argument*>(&error) != nullptr ||
      dynamic_cast<const std::out_of_range*>(&error) != nullptr) {
    if (startsWith("f.m ") || startsWith("o is not")) return "wrong type";
  }
  if (startsWith("MultiByteToWideChar() failed")) return "not UTF-8";
  return {};
}

struct Tally {
  std::map<std::string, int> outcomes;
  std::map<std::string, int> reasons;
  std::uint64_t documents = 0, acceptedOffers = 0, realFacts = 0, isv = 0;
  Clock::duration slowest{};
  std::uint64_t slowestDocument = 0;
  std::vector<std::string> faults;
};

// One rejection reason without its numbers and ids, for the summary.
std::string ReasonFamily(const std::string& reason) {
  const std::size_t cut = reason.find_first_of("0123456789");
  return reason.substr(0, std::min<std::size_t>(cut, 40));
}

TEST(ConfigurationFuzz, EveryDocumentEndsAsAConfigurationErrorOrAValidOfferList) {
  const auto global = ConfigurationManager::GetInstance();
  ASSERT_EQ(global->wizardType, ConfigurationManager::kWizardTypeDlm);
  // DLM documents go to the process-wide manager, as in the wizard: packages take their cc, pubid
  // and ispb parameters from there. ISV documents go to a manager of their own.
  const auto isv = testsupport::MakeConfig(L"ISV");
  const DocumentFields dlmFields(*global), isvFields(*isv);
  // Nothing may be sent; were it, it would go nowhere.
  global->eventsUrl = isv->eventsUrl = L"https://127.0.0.9/zbd";

  const json sample = LoadSample();
  const std::uint64_t first = EnvironmentNumber("BRINDLE_FUZZ_FIRST", 0);
  const std::uint64_t count = EnvironmentNumber("BRINDLE_FUZZ_DOCUMENTS", kDocuments);
  auto facts = std::make_shared<TestFacts>();
  facts->disk = Measurement{true, 100ULL << 30, 0};
  facts->memory = Measurement{true, 4ULL << 30, 0};
  facts->cpu = ProcessorClock{ProcessorClock::Status::kOk, 2400};
  facts->windowsVersion = std::make_pair(DWORD{10}, DWORD{0});
  facts->is64BitWindows = true;
  facts->now = 1767225600;  // 2026-01-01
  facts->processes = std::vector<std::wstring>{L"explorer.exe", L"services.exe", L"tool.helper.exe"};

  Tally tally;
  const auto started = Clock::now();
  for (std::uint64_t index = first; index < first + count; ++index) {
    const std::string text = MutatedDocument(sample, kSeed, index);
    const bool dlm = index % 4 != 3;
    ConfigurationManager& config = dlm ? *global : *isv;
    (dlm ? dlmFields : isvFields).Restore(config);
    global->extraOfferSlots = 0;

    // Every 16th document is judged by this machine's own facts.
    const bool realFacts = index % 16 == 5;
    EvaluatorSetup setup;
    setup.facts = realFacts ? nullptr : facts;
    int events = 0;
    std::string eventFault;
    setup.eventSink = [&](Package&, int id, const json& extra) {
      ++events;
      if (id != EVENT_NOT_SHOWN || !extra.is_object() || extra.size() != 1 || !extra.contains("13") ||
          !extra["13"].is_string()) {
        eventFault = "an event that is not a reasoned rejection";
        return;
      }
      ++tally.reasons[ReasonFamily(extra["13"].get<std::string>())];
    };

    std::string outcome = "fault", fault;
    const auto documentStarted = Clock::now();
    try {
      if (text.size() > kMaxDocumentBytes) {
        ++tally.outcomes["error: over the transfer cap"];
        ++tally.documents;
        continue;
      }
      const json document = json::parse(text, nullptr, true, false);
      const LoadedOffers loaded = ApplyConfigurationDocument(document, config, setup);
      fault = OfferListFault(loaded, document, config, global->extraOfferSlots);
      tally.acceptedOffers += loaded.packages.size();
      outcome = loaded.productUnusable       ? "error: product unusable"
                : loaded.packages.empty()    ? "offers: none"
                : loaded.packages.size() < 3 ? "offers: " + std::to_string(loaded.packages.size())
                                             : "offers: 3 or more";
    } catch (const std::bad_alloc&) {
      fault = "out of memory";
    } catch (const std::exception& error) {
      const std::string kind = ErrorKind(error);
      outcome = "error: " + kind;
      if (kind.empty()) fault = std::string("unexpected ") + typeid(error).name() + ": " + error.what();
    } catch (...) {
      fault = "an exception that is not a std::exception";
    }
    const auto took = Clock::now() - documentStarted;
    if (took > tally.slowest) {
      tally.slowest = took;
      tally.slowestDocument = index;
    }
    if (took > std::chrono::seconds(5)) fault = "took over 5 s";
    if (fault.empty()) fault = eventFault;
    if (!fault.empty() && tally.faults.size() < 10) {
      tally.faults.push_back("document " + std::to_string(index) + ": " + fault + "\n  " + text.substr(0, 600));
    }
    ++tally.outcomes[outcome];
    ++tally.documents;
    tally.realFacts += realFacts;
    tally.isv += !dlm;
  }
  const auto seconds = std::chrono::duration<double>(Clock::now() - started).count();

  std::printf("%llu documents in %.1f s (%llu ISV, %llu judged by this machine's facts); slowest %.0f ms (#%llu)\n",
              static_cast<unsigned long long>(tally.documents), seconds, static_cast<unsigned long long>(tally.isv),
              static_cast<unsigned long long>(tally.realFacts),
              std::chrono::duration<double, std::milli>(tally.slowest).count(),
              static_cast<unsigned long long>(tally.slowestDocument));
  for (const auto& [outcome, times] : tally.outcomes) std::printf("  %-28s %6d\n", outcome.c_str(), times);
  std::printf("  %llu offers accepted; rejections:\n", static_cast<unsigned long long>(tally.acceptedOffers));
  for (const auto& [reason, times] : tally.reasons) std::printf("    %-42s %6d\n", reason.c_str(), times);
  for (const std::string& fault : tally.faults) ADD_FAILURE() << fault;
}

}  // namespace
