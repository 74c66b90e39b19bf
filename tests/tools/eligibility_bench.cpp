// Times the evaluation of many offers against a large registry, with the evaluator's registry
// caches (software listings, keys and values) and without them, in one process, so
// bench/run.py can print what the caches save.
//   eligibility_bench OFFERS VENDORS ROUNDS
//     -> one line per round and mode: "<cache|nocache> <seconds> <enumerations> <registry opens> <accepted>"
// Each offer lists 20 keys below software (15 below vendors that exist, 5 below vendors that do
// not) and 3 files; the vendors BenchVendor00000... must exist below HKLM\Software (64-bit view).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "config/ConfigurationManager.h"
#include "offers/OfferRules.h"
#include "offers/Package.h"

using nlohmann::json;

namespace {

std::vector<std::shared_ptr<Package>> MakeOffers(int count, int vendors) {
  std::vector<std::shared_ptr<Package>> offers;
  for (int i = 0; i < count; ++i) {
    json keys = json::array();
    for (int k = 0; k < 20; ++k) {
      char key[64];
      if (k < 15) {
        std::snprintf(key, sizeof(key), "benchvendor%05d\\product%d", (i * 20 + k) % vendors, k);
      } else {
        std::snprintf(key, sizeof(key), "absentvendor%d\\product%d", i, k);
      }
      keys.push_back(key);
    }
    json files = json::array();
    for (int f = 0; f < 3; ++f)
      files.push_back("{programdata}\\BenchVendor\\" + std::to_string(i) + "\\" + std::to_string(f));
    const json offer = {{"ad", {{"o", "bench-" + std::to_string(i)}, {"f", "t"}}},
                        {"ps", {{"i", "i"}, {"dn", "d"}, {"u", "u"}, {"v", i}, {"r", keys}, {"fe", files}}}};
    offers.push_back(Package::Offer(*ConfigurationManager::GetInstance(), offer, 0));
  }
  return offers;
}

void Run(const std::vector<std::shared_ptr<Package>>& offers, bool cache) {
  auto facts = std::make_shared<SystemMachineFacts>();
  auto config = ConfigurationManager::GetInstance();
  config->maxOffers = static_cast<int>(offers.size()) + 1;
  OfferRules rules(*config, facts);
  rules.SetEventSink([](Package&, int, const json&) {});
  rules.SetCachesEnabled(cache);
  std::vector<std::shared_ptr<Package>> accepted;
  const auto started = std::chrono::steady_clock::now();
  for (const auto& offer : offers) {
    bool stop = false;
    if (rules.Evaluate(offer, stop, accepted)) accepted.push_back(offer);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  std::printf("%s %.3f %d %d %u\n", cache ? "cache" : "nocache", elapsed.count(), facts->Counters().enumerations,
              facts->Counters().registryOpens, static_cast<unsigned>(accepted.size()));
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: eligibility_bench OFFERS VENDORS ROUNDS\n");
    return 2;
  }
  const auto offers = MakeOffers(_wtoi(argv[1]), _wtoi(argv[2]));
  for (int round = 0; round < _wtoi(argv[3]); ++round) {
    Run(offers, true);
    Run(offers, false);
  }
  return 0;
}
