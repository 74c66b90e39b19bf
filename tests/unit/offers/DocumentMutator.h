#pragma once
// Configuration documents derived from a sample the way a broken or hostile service could send
// them: keys dropped, types changed, values out of range, hostile texts, deep nesting, offers
// duplicated, reordered or multiplied, and byte-level damage. The same seed and index always
// give the same document, so a failing one can be rebuilt alone.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

class FuzzRandom {
 public:
  explicit FuzzRandom(std::uint64_t seed) : m_state(seed) {}
  std::uint64_t Next();
  std::size_t Below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(Next() % bound); }
  bool OneIn(std::size_t n) { return Below(n) == 0; }

 private:
  std::uint64_t m_state;
};

// The text the service would answer with: a mutated sample, serialised, sometimes damaged.
std::string MutatedDocument(const nlohmann::json& sample, std::uint64_t seed, std::uint64_t index);
