#include "LocaleTestSupport.h"

#include <commctrl.h>
#include <tinyxml2.h>

#include "ui/ComboBox.h"
#include "ui/Dialog.h"
#include "win32/Strings.h"

namespace testsupport {

std::shared_ptr<ConfigurationManager> MakeConfig(const wchar_t* type, bool btPages) {
  config::BuildSettings settings = config::GetBuildSettings();
  settings.wizardTypeName = type;
  settings.btPages = btPages;
  // The work folder this store made goes with it.
  struct Store : ConfigurationManager {
    using ConfigurationManager::ConfigurationManager;
    ~Store() {
      if (!workFolder.empty()) ::RemoveDirectoryW(workFolder.c_str());
    }
  };
  return std::make_shared<Store>(settings);
}

TestLanguageManager::TestLanguageManager(std::shared_ptr<ConfigurationManager> config)
    : LanguageManager(nullptr, std::move(config)) {
  SetMessageSink([this](const std::wstring& text) { messages.push_back(text); });
}

std::vector<int> TestLanguageManager::GetLocaleResourceIds() {
  return ids ? *ids : LanguageManager::GetLocaleResourceIds();
}

bool TestLanguageManager::LoadXml(const std::string& xml) {
  tinyxml2::XMLDocument doc;
  if (doc.Parse(xml.c_str(), xml.size()) != tinyxml2::XML_SUCCESS) return false;
  return LoadStrings(doc);
}

std::string TestLanguageManager::Utf8(const std::string& key) const { return win32::WideToUtf8(GetString(key)); }

std::vector<std::pair<std::string, std::string>> RawEntries(int resourceId) {
  std::vector<std::pair<std::string, std::string>> entries;
  HMODULE module = win32::ModuleInstance();
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"LOCALE");
  if (resource == nullptr) return entries;
  const std::string text = i18n::InflateLocaleDocument(
      {static_cast<const char*>(::LockResource(::LoadResource(module, resource))), ::SizeofResource(module, resource)});
  tinyxml2::XMLDocument doc;
  if (doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) return entries;
  const tinyxml2::XMLElement* root = doc.RootElement();
  for (const tinyxml2::XMLElement* e = root != nullptr ? root->FirstChildElement() : nullptr; e != nullptr;
       e = e->NextSiblingElement()) {
    entries.emplace_back(e->Name(), e->GetText() != nullptr ? e->GetText() : "");
  }
  return entries;
}

ScratchCombo::ScratchCombo() {
  // A visible combo in a hidden window: nothing appears on screen, yet hiding it shows.
  m_parent = ::CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr, win32::ModuleInstance(),
                               nullptr);
  m_hwnd = ::CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL, 0, 0, 200,
                             200, m_parent, nullptr, win32::ModuleInstance(), nullptr);
}

ScratchCombo::~ScratchCombo() {
  if (m_parent != nullptr) ::DestroyWindow(m_parent);
}

bool ScratchCombo::HasVisibleStyle() const { return (::GetWindowLongPtrW(m_hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

std::vector<std::wstring> ScratchCombo::Items() const {
  const ui::ComboBox combo(m_hwnd);
  std::vector<std::wstring> items;
  for (int i = 0; i < combo.GetCount(); ++i) items.push_back(combo.GetItemText(i));
  return items;
}

std::wstring ScratchCombo::Selected() const {
  const ui::ComboBox combo(m_hwnd);
  return combo.GetCurSel() == CB_ERR ? L"<none>" : combo.GetItemText(combo.GetCurSel());
}

}  // namespace testsupport
