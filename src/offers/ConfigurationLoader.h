#pragma once
// Applies the configuration document to the configuration manager, in the order the wizard
// relies on, and turns its offers into the list of accepted packages. Runs on the loading
// worker thread.
#include <nlohmann/json.hpp>

#include <memory>
#include <vector>

#include "offers/OfferRules.h"

class ConfigurationManager;
class Package;

// How the offers are judged. By default on this machine, each rejected package sending its own
// "not shown" event; tests give facts and a sink of their own.
struct EvaluatorSetup {
  std::shared_ptr<MachineFacts> facts;  // null: this machine
  OfferRules::EventSink eventSink;      // empty: Package::SendEvent
  RuleTrace trace;                      // empty: nothing recorded
};

struct LoadedOffers {
  std::vector<std::shared_ptr<Package>> packages;
  // A DLM document named no product title or no product URL: nothing can be downloaded.
  bool productUnusable = false;
};

// Raises (a std::exception) when the document cannot be used: a missing required key, a value
// of the wrong type, an offer that cannot be built. Stops between offers once the wizard exits,
// and judges no more than the first 1,000 offers.
LoadedOffers ApplyConfigurationDocument(const nlohmann::json& document, ConfigurationManager& config,
                                        const EvaluatorSetup& evaluator = {});
