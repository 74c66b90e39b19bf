#pragma once
// The settings records of a package: the notification block, the offer-flow limits and the
// days-since-uninstall checks.
#include <climits>
#include <string>
#include <vector>

struct UninstallTimestampCheck {
  std::wstring root;
  std::wstring key;
  std::wstring valueName;
  std::wstring valueType;  // kept; no rule reads it
  int minDays = 0;
  bool inMilliseconds = false;
};

struct PnSettings {
  bool enabled = false;
  std::string apiUrl;
  std::string apiKey;
  std::string noShowMarker;  // registry value "subkey\\name" under HKEY_LOCAL_MACHINE
  std::string pnop;
  bool pnsi = false;
  std::string stubParams;
  std::string la;
};

struct FlowSettings {
  int maxBefore = INT_MAX;
  std::vector<std::string> allowedBefore;
  int maxAfter = INT_MAX;
  std::vector<std::string> allowedAfter;
  int maxOffersInFlow = INT_MAX;
  bool skipAllAfterDecline = false;
  bool skipIfEarlierDeclined = false;
};
