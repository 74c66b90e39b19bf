#pragma once
// The key -> text table of the chosen language. Lists the locale documents of the wizard type,
// fills the language list, expands {KEY} references between texts and refreshes every
// registered page when the language changes. UI thread only.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/TextTarget.h"

namespace tinyxml2 {
class XMLDocument;
}
namespace ui {
class ComboBox;
class Dialog;
}  // namespace ui
class ConfigurationManager;

namespace i18n {

// A locale document as the build stores it in the resources (deflated, zlib format) turned back
// into its text; empty when it does not inflate.
std::string InflateLocaleDocument(std::string_view stored);

}  // namespace i18n

class LanguageManager {
 public:
  using StringTable = std::map<std::string, std::string>;
  // Receives the text of every failure; by default a message box owned by the main dialog.
  using MessageSink = std::function<void(const std::wstring& text)>;

  // References nested deeper than this are left as they are written (see docs/i18n.md).
  static constexpr int kMaxReferenceDepth = 8;

  LanguageManager(ui::Dialog* owner, std::shared_ptr<ConfigurationManager> config);
  virtual ~LanguageManager();
  LanguageManager(const LanguageManager&) = delete;
  LanguageManager& operator=(const LanguageManager&) = delete;

  // LOCALE resource ids of the configuration's wizard type, in the order they are offered.
  virtual std::vector<int> GetLocaleResourceIds();
  // Lists the languages by their native names and selects the user's own (else the first).
  void FillLanguageCombo(const ui::ComboBox& combo);
  // Loads a listed language and refreshes every page; false when the name is not listed or
  // its document cannot be read.
  bool SetLanguage(const std::wstring& displayName);
  // Empty when the key is missing or its text is empty.
  std::wstring GetString(const std::string& key) const;

  // Targets register for exactly their own lifetime (pages do this).
  void RegisterPage(i18n::TextTarget* page);
  void UnregisterPage(i18n::TextTarget* page);
  const std::vector<i18n::TextTarget*>& GetRegisteredPages() const noexcept { return m_registeredPages; }

  void SetMessageSink(MessageSink sink);

 protected:
  std::wstring GetLanguageDisplayName(const std::wstring& localeName) const;
  bool LoadLocaleDocument(int id, tinyxml2::XMLDocument& doc);
  bool LoadStrings(tinyxml2::XMLDocument& doc);
  // Every {KEY} reference expanded; cycles and nesting past the limit stay as written.
  static StringTable ExpandReferences(const StringTable& original);

 private:
  void ShowMessage(const std::wstring& text);
  void ShowParseError(const std::wstring& detail);
  void AddBtTexts(StringTable& strings);

  ui::Dialog* m_owner;
  std::shared_ptr<ConfigurationManager> m_config;
  std::map<std::wstring, int> m_resourceIds;
  std::map<std::wstring, std::wstring> m_localeNames;
  std::vector<i18n::TextTarget*> m_registeredPages;
  StringTable m_strings;
  MessageSink m_showMessage;
};
