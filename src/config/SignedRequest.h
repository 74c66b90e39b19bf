#pragma once
// Template of every event request: the machine and build facts every event carries, and the
// Authorization header whose signature covers the machine id and the run stamp.
#include <string>
#include <utility>
#include <vector>

#include "config/JsonFields.h"

using HeaderList = std::vector<std::pair<std::wstring, std::wstring>>;

class ConfigurationManager;

struct SignedRequest {
  explicit SignedRequest(ConfigurationManager& config);

  config::JsonFields payload;
  HeaderList headers;
};
