#pragma once
// A language manager with its own configuration, its building blocks exposed and its failure
// messages collected instead of shown.
#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/ConfigurationManager.h"
#include "i18n/LanguageManager.h"

namespace testsupport {

// A configuration for one wizard type ("DLM", "ISV" or anything else for type 0); its work
// folder is removed with it.
std::shared_ptr<ConfigurationManager> MakeConfig(const wchar_t* type, bool btPages = false);

class TestLanguageManager : public LanguageManager {
 public:
  explicit TestLanguageManager(std::shared_ptr<ConfigurationManager> config);

  using LanguageManager::ExpandReferences;
  using LanguageManager::GetLanguageDisplayName;
  using LanguageManager::LoadLocaleDocument;
  using LanguageManager::LoadStrings;

  std::vector<int> GetLocaleResourceIds() override;
  // Parses the text and loads its entries.
  bool LoadXml(const std::string& xml);
  std::string Utf8(const std::string& key) const;

  std::optional<std::vector<int>> ids;  // replaces the wizard type's list when set
  std::vector<std::wstring> messages;
};

// The entries of a locale resource exactly as written (no expansion), in document order.
std::vector<std::pair<std::string, std::string>> RawEntries(int resourceId);

// A combo box inside a hidden window, destroyed with the object.
class ScratchCombo {
 public:
  ScratchCombo();
  ~ScratchCombo();
  ScratchCombo(const ScratchCombo&) = delete;
  ScratchCombo& operator=(const ScratchCombo&) = delete;
  HWND Get() const { return m_hwnd; }
  std::vector<std::wstring> Items() const;
  std::wstring Selected() const;
  bool HasVisibleStyle() const;

 private:
  HWND m_parent = nullptr;
  HWND m_hwnd = nullptr;
};

}  // namespace testsupport
