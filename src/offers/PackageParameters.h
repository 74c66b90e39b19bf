#pragma once
// Parameters a package takes from the configuration and the machine before reading its texts.
#include <string>

#include "offers/ParameterTable.h"

class ConfigurationManager;

// userid, sessionid, cc, pubid, ispb (each only when known), aflt, account_md5.
void AddConfigurationParameters(ParameterTable& table, ConfigurationManager& config);

// Base62 of machine id + "|" + offer id + "|" + run stamp; empty when it cannot be computed.
std::string PixelValue(const std::string& machineId, const std::string& offerId, const std::string& runStamp);
