#include "offers/PackageParameters.h"

#include <exception>

#include "config/ConfigurationManager.h"
#include "config/Hashing.h"
#include "config/TextUtil.h"

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
  if (!config.account.empty()) table.Add("account_md5", config::Md5Hex(config.account));
}

std::string PixelValue(const std::string& machineId, const std::string& offerId, const std::string& runStamp) {
  try {
    return config::Base62Encode(machineId + "|" + offerId + "|" + runStamp);
  } catch (const std::exception&) {
    return {};
  }
}
