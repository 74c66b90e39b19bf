#pragma once
// What BrindleRules.exe prints: lines for a person, or one JSON document for scripts.
#include <nlohmann/json.hpp>

#include <string>

#include "tools/rules/Judgement.h"

namespace rules {

// Where the document came from and what the machine is, for the report's head (UTF-8).
struct ReportHead {
  std::string source;  // "Z:\\x.json", or "campaign ab12-cd from https://..."
  std::string windowsVersion;
  bool windows64 = false;
  bool elevated = false;
  std::string wizardVersion;
};

std::string TextReport(const ReportHead& head, const Judgement& judgement);
nlohmann::json JsonReport(const ReportHead& head, const Judgement& judgement);

}  // namespace rules
