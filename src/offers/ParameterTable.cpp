#include "offers/ParameterTable.h"

#include <cstdint>
#include <stdexcept>

#include "win32/Strings.h"

bool ParameterTable::Add(const std::string& key, std::string value) {
  if (Contains(key)) return false;
  m_entries.emplace_back(key, std::move(value));
  return true;
}

const std::string* ParameterTable::Find(const std::string& key) const {
  for (const auto& [name, value] : m_entries) {
    if (name == key) return &value;
  }
  return nullptr;
}

std::string ParameterTable::Expand(std::string text) const {
  const auto tooLong = [] {
    return std::length_error("offer text longer than " + std::to_string(kMaxExpandedBytes) +
                             " bytes after placeholder expansion");
  };
  if (text.size() > kMaxExpandedBytes) throw tooLong();
  for (const auto& [key, value] : m_entries) {
    const std::string token = "{" + key + "}";
    std::uint64_t count = 0;
    for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + token.size())) ++count;
    if (count == 0) continue;
    // Checked before replacing, so a hostile text never grows beyond the limit.
    if (text.size() - count * token.size() + count * value.size() > kMaxExpandedBytes) throw tooLong();
    win32::ReplaceAll(text, token, value);
  }
  return text;
}
