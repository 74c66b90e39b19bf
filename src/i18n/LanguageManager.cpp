#include "i18n/LanguageManager.h"

#include <windows.h>

#include <tinyxml2.h>
#include <zlib.h>

#include <algorithm>
#include <utility>

#include "config/ConfigurationManager.h"
#include "resources/resource.h"
#include "ui/ComboBox.h"
#include "ui/Dialog.h"
#include "win32/Strings.h"

namespace {

using StringTable = LanguageManager::StringTable;

constexpr int kFirstDlmLocaleId = 105;
constexpr int kLastDlmLocaleId = 118;
constexpr int kFirstIsvLocaleId = 101;
constexpr int kLastIsvLocaleId = 102;

// The text of an entry: its first child that is not a comment, when that child is text.
const char* EntryText(const tinyxml2::XMLElement& element) {
  for (const tinyxml2::XMLNode* child = element.FirstChild(); child != nullptr; child = child->NextSibling()) {
    if (child->ToComment() != nullptr) continue;
    const tinyxml2::XMLText* text = child->ToText();
    return text != nullptr ? text->Value() : nullptr;
  }
  return nullptr;
}

// Entries that hold a value of the configuration document rather than a text of ours: inserted
// as they are, never expanded, so a title cannot pull in other texts (or itself, thousands of
// times) or bring markup of its own.
bool IsLiteral(const std::string& key) { return key == "PRODUCT_TITLE"; }

// Expands from the unexpanded table, so the result does not depend on key order. A reference
// to a key that is already being expanded (a cycle) or that lies deeper than the limit is kept
// as written, like a reference to a missing key.
std::string Expand(const StringTable& table, const std::string& text, std::vector<const std::string*>& chain,
                   int depth) {
  std::string result;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = text.find('{', pos);
    if (open == std::string::npos) break;
    const std::size_t close = text.find('}', open + 1);
    if (close == std::string::npos) break;
    result.append(text, pos, open - pos);
    const auto entry = table.find(text.substr(open + 1, close - open - 1));
    const bool inChain = entry != table.end() &&
                         std::any_of(chain.begin(), chain.end(), [&](const auto* key) { return *key == entry->first; });
    if (entry != table.end() && IsLiteral(entry->first)) {
      result += entry->second;
    } else if (entry != table.end() && !inChain && depth < LanguageManager::kMaxReferenceDepth) {
      chain.push_back(&entry->first);
      result += Expand(table, entry->second, chain, depth + 1);
      chain.pop_back();
    } else {
      result.append(text, open, close - open + 1);
    }
    pos = close + 1;
  }
  result.append(text, pos, std::string::npos);
  return result;
}

}  // namespace

namespace i18n {

std::string InflateLocaleDocument(std::string_view stored) {
  std::string text;
  z_stream stream{};
  if (::inflateInit(&stream) != Z_OK) return text;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data()));
  stream.avail_in = static_cast<uInt>(stored.size());
  int status = Z_OK;
  while (status == Z_OK) {
    char chunk[4096];
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof(chunk);
    status = ::inflate(&stream, Z_NO_FLUSH);
    if (status == Z_OK || status == Z_STREAM_END) text.append(chunk, sizeof(chunk) - stream.avail_out);
  }
  ::inflateEnd(&stream);
  if (status != Z_STREAM_END) text.clear();
  return text;
}

}  // namespace i18n

LanguageManager::LanguageManager(ui::Dialog* owner, std::shared_ptr<ConfigurationManager> config)
    : m_owner(owner), m_config(std::move(config)) {}

LanguageManager::~LanguageManager() = default;

void LanguageManager::SetMessageSink(MessageSink sink) { m_showMessage = std::move(sink); }

void LanguageManager::ShowMessage(const std::wstring& text) {
  if (m_showMessage) {
    m_showMessage(text);
    return;
  }
  HWND owner = m_owner != nullptr ? m_owner->GetHwnd() : nullptr;
  ::MessageBoxW(owner, text.c_str(), L"Brindle", MB_OK | MB_ICONEXCLAMATION);
}

void LanguageManager::ShowParseError(const std::wstring& detail) {
  ShowMessage(L"Failed to parse language xml file, error code: " + detail);
}

std::vector<int> LanguageManager::GetLocaleResourceIds() {
  std::vector<int> ids;
  int first = 0;
  int last = -1;
  switch (m_config->wizardType) {
    case ConfigurationManager::kWizardTypeDlm:
      first = kFirstDlmLocaleId;
      last = kLastDlmLocaleId;
      break;
    case ConfigurationManager::kWizardTypeIsv:
      first = kFirstIsvLocaleId;
      last = kLastIsvLocaleId;
      break;
    case 0:
      ShowMessage(L"Unknown wizard type (language manager");
      break;
    default:
      break;
  }
  for (int id = first; id <= last; ++id) ids.push_back(id);
  return ids;
}

std::wstring LanguageManager::GetLanguageDisplayName(const std::wstring& localeName) const {
  wchar_t buffer[LOCALE_NAME_MAX_LENGTH] = {};
  if (::GetLocaleInfoEx(localeName.c_str(), LOCALE_SNATIVELANGUAGENAME, buffer, LOCALE_NAME_MAX_LENGTH) > 0) {
    return buffer;
  }
  // "en_US" is not a Windows locale name; its language part is.
  if (localeName.size() > 2) {
    const std::wstring language = localeName.substr(0, 2);
    if (::GetLocaleInfoEx(language.c_str(), LOCALE_SNATIVELANGUAGENAME, buffer, LOCALE_NAME_MAX_LENGTH) > 0) {
      return buffer;
    }
  }
  return localeName;
}

void LanguageManager::FillLanguageCombo(const ui::ComboBox& combo) {
  const std::vector<int> ids = GetLocaleResourceIds();
  m_resourceIds.clear();
  m_localeNames.clear();
  combo.ResetContent();
  int selection = 0;

  std::wstring userLanguage;
  wchar_t userLocale[LOCALE_NAME_MAX_LENGTH] = {};
  if (::GetUserDefaultLocaleName(userLocale, LOCALE_NAME_MAX_LENGTH) > 0) {
    userLanguage = GetLanguageDisplayName(userLocale);
  }
  if (userLanguage.empty()) userLanguage = L"English";

  for (const int id : ids) {
    tinyxml2::XMLDocument doc;
    if (!LoadLocaleDocument(id, doc)) continue;
    const tinyxml2::XMLElement* root = doc.FirstChildElement("Locale");
    if (root == nullptr) continue;
    const char* name = root->Attribute("name");
    if (name == nullptr) {
      ShowParseError(L"No name attribute");
      continue;
    }
    const std::wstring localeName = win32::Widen(name, CP_UTF8);
    const std::wstring displayName = GetLanguageDisplayName(localeName);
    // Equal names (the Polish document is listed twice) select the last one.
    if (displayName == userLanguage) selection = combo.GetCount();
    combo.AddString(displayName);
    m_resourceIds[displayName] = id;
    m_localeNames[displayName] = localeName;
  }
  combo.SetCurSel(selection);
  if (m_config->btPages) combo.Show(false);
}

bool LanguageManager::LoadLocaleDocument(int id, tinyxml2::XMLDocument& doc) {
  HMODULE module = win32::ModuleInstance();
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"LOCALE");
  if (resource == nullptr) {
    ShowMessage(L"Failed to find resource with id: " + std::to_wstring(id));
    return false;
  }
  HGLOBAL loaded = ::LoadResource(module, resource);
  if (loaded == nullptr) {
    ShowMessage(L"Failed to load resource with id: " + std::to_wstring(id));
    return false;
  }
  const auto* stored = static_cast<const char*>(::LockResource(loaded));
  // An empty text makes tinyxml2 report an empty document.
  const std::string text =
      i18n::InflateLocaleDocument({stored, stored != nullptr ? ::SizeofResource(module, resource) : 0});
  doc.Parse(text.data(), text.size());
  if (doc.Error()) {
    ShowParseError(win32::Widen(doc.ErrorStr(), CP_ACP));
    return false;
  }
  return true;
}

bool LanguageManager::LoadStrings(tinyxml2::XMLDocument& doc) {
  const tinyxml2::XMLElement* root = doc.FirstChildElement("Locale");
  if (root == nullptr) {
    ShowParseError(L"No Locale element");
    return false;
  }
  // Built aside and swapped in only when complete: a document that fails half-way leaves the
  // previous language in place, not a cleared or half-filled table.
  StringTable strings;
  // The title was made from the configuration's bytes with this code page, so this gives the
  // bytes back, which are UTF-8.
  strings["PRODUCT_TITLE"] = win32::Narrow(m_config->productTitle, CP_THREAD_ACP);
  if (m_config->btPages) AddBtTexts(strings);
  for (const tinyxml2::XMLElement* entry = root->FirstChildElement(); entry != nullptr;
       entry = entry->NextSiblingElement()) {
    const char* text = EntryText(*entry);
    if (text == nullptr) {
      ShowParseError(L"No name or text attribute");
      return false;
    }
    strings[entry->Name()] = text;
  }
  m_strings = ExpandReferences(strings);
  return true;
}

void LanguageManager::AddBtTexts(StringTable& strings) {
  tinyxml2::XMLDocument doc;
  if (!LoadLocaleDocument(IDR_BT_TEXTS, doc)) return;
  for (const tinyxml2::XMLElement* entry = doc.FirstChildElement(); entry != nullptr;
       entry = entry->NextSiblingElement()) {
    // An entry without text is skipped rather than stopping the wizard.
    if (const char* text = EntryText(*entry)) strings[entry->Name()] = text;
  }
}

LanguageManager::StringTable LanguageManager::ExpandReferences(const StringTable& original) {
  StringTable expanded;
  std::vector<const std::string*> chain;
  for (const auto& [key, text] : original) {
    chain.assign(1, &key);
    expanded.emplace(key, IsLiteral(key) ? text : Expand(original, text, chain, 0));
  }
  return expanded;
}

bool LanguageManager::SetLanguage(const std::wstring& displayName) {
  const auto id = m_resourceIds.find(displayName);
  if (id == m_resourceIds.end()) return false;
  tinyxml2::XMLDocument doc;
  if (!LoadLocaleDocument(id->second, doc)) return false;
  // A document whose entries cannot be read is a failure too; the language then stays unset.
  if (!LoadStrings(doc)) return false;

  // By index: a page created or destroyed during a refresh cannot invalidate the loop.
  for (std::size_t i = 0; i < m_registeredPages.size(); ++i) m_registeredPages[i]->UpdateTexts();

  m_config->languageName = displayName;
  const auto localeName = m_localeNames.find(displayName);
  m_config->localeName = localeName != m_localeNames.end() ? localeName->second : std::wstring();
  return true;
}

std::wstring LanguageManager::GetString(const std::string& key) const {
  const auto entry = m_strings.find(key);
  if (entry == m_strings.end() || entry->second.empty()) return {};
  return win32::Widen(entry->second, CP_UTF8);
}

void LanguageManager::RegisterPage(i18n::TextTarget* page) { m_registeredPages.push_back(page); }

void LanguageManager::UnregisterPage(i18n::TextTarget* page) { std::erase(m_registeredPages, page); }
