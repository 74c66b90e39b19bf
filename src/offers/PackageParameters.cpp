#include "offers/PackageParameters.h"

#include <exception>
#include <mutex>

#include "config/ConfigurationManager.h"
#include "config/Hashing.h"
#include "config/TextUtil.h"

namespace {

// The account is fixed for the run, and an MD5 through CryptoAPI costs milliseconds (about 6 ms
// under Wine): hashed once, not once per offer, so a long offer list cannot stall the loading.
std::string AccountHash(const std::wstring& account) {
  static std::mutex mutex;
  static std::wstring hashedAccount;
  static std::string hash;
  std::lock_guard lock(mutex);
  if (hash.empty() || hashedAccount != account) {
    hash = config::Md5Hex(account);
    hashedAccount = account;
  }
  return hash;
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
