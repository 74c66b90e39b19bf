#pragma once
// Values that fill {key} placeholders in a package's texts. The first value given for a key
// wins; expansion visits keys in the order they were added, so results are reproducible.
#include <string>
#include <utility>
#include <vector>

class ParameterTable {
 public:
  // Returns false (and keeps the old value) when the key is already present.
  bool Add(const std::string& key, std::string value);
  const std::string* Find(const std::string& key) const;
  bool Contains(const std::string& key) const { return Find(key) != nullptr; }
  std::size_t Size() const { return m_entries.size(); }
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return m_entries; }

  // Every "{key}" of the table replaced by its value; unknown placeholders stay as written.
  // Raises std::length_error instead of producing more than kMaxExpandedBytes: values may
  // themselves be expanded texts, so sizes multiply.
  std::string Expand(std::string text) const;

  static constexpr std::size_t kMaxExpandedBytes = 64 * 1024;

 private:
  std::vector<std::pair<std::string, std::string>> m_entries;
};
