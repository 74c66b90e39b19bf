#include "offers/PackageParameters.h"

#include <exception>
#include <mutex>

#include "config/ConfigurationManager.h"
#include "config/Hashing.h"
#include "config/TextUtil.h"
#include "win32/Threads.h"

namespace {

// The account is fixed for the run, and an MD5 through CryptoAPI costs milliseconds (about 6 ms
// under Wine): hashed once, not once per offer, so a long offer list cannot stall the loading.
std::string AccountHash(const std::wstring& account) {
  struct Cache {
    win32::Mutex mutex;
    std::wstring account;
    std::string hash;
  };
  static win32::MadeOnce<Cache> made;
  Cache& cache = made.Get([] { return Cache{}; });
  std::lock_guard lock(cache.mutex);
  if (cache.hash.empty() || cache.account != account) {
    cache.hash = config::Md5Hex(account);
    cache.account = account;
  }
  return cache.hash;
}

}  // namespace

void AddConfigurationParameters(ParameterTable& table, ConfigurationManager& config) {
  const auto addIfKnown = [&table](const char* key, const std::string& value) {
    if (!value.empty()) table.Add(key, value);
  };
  addIfKnown("userid", config.GetMachineId());
  addIfKnown("sessionid", config.GetRunStamp());
  addIfKnown("cc", config.countryCode);
  addIfKnown("pubid", config.publisherId);
  addIfKnown("ispb", config.ispbValue);
  table.Add("aflt", config::AffiliateForCountry(config.countryCode));
  if (!config.account.empty()) table.Add("account_md5", AccountHash(config.account));
}

std::string PixelValue(const std::string& machineId, const std::string& offerId, const std::string& runStamp) {
  return config::Base62Encode(machineId + "|" + offerId + "|" + runStamp);
}
