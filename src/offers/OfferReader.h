#pragma once
// Reads an offer object of the configuration document into its package, in one place: texts,
// the parameter table and its placeholders, the notification block and flow settings, and the
// eligibility rules with their presets.
#include <nlohmann/json_fwd.hpp>

class ConfigurationManager;
class Package;

// Raises the JSON library's out_of_range for a missing required key and type_error for a key of
// the wrong type (an offer id longer than 256 bytes counts as one).
void ReadOffer(Package& package, const nlohmann::json& offer, ConfigurationManager& config);
