#include "offers/ParameterTable.h"

#include "ui/Strings.h"

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
  for (const auto& [key, value] : m_entries) ui::ReplaceAll(text, "{" + key + "}", value);
  return text;
}
