// The embedded locale documents themselves: complete, well formed, and translations that keep
// every placeholder, link and line break of their English text.
#include <windows.h>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "LocaleTestSupport.h"
#include "ui/Dialog.h"
#include "win32/Strings.h"

namespace {

using testsupport::RawEntries;

struct LocaleSet {
  const wchar_t* type;
  int englishId;
  std::vector<std::pair<int, std::string>> documents;  // id, name attribute
};

const LocaleSet kDlm{L"DLM",
                     105,
                     {{105, "en_US"},
                      {106, "es"},
                      {107, "pt_BR"},
                      {108, "pl"},
                      {109, "cs"},
                      {110, "da"},
                      {111, "de"},
                      {112, "fi"},
                      {113, "fr"},
                      {114, "it"},
                      {115, "nl"},
                      {116, "pl"},
                      {117, "ru"},
                      {118, "tr"}}};
const LocaleSet kIsv{L"ISV", 101, {{101, "en_US"}, {102, "es"}}};

// The only documented gap: the Spanish installer document has no Agree and Back buttons.
std::set<std::string> KnownGaps(int id) {
  if (id == 102) return {"BUTTON_AGREE", "BUTTON_BACK"};
  return {};
}

std::map<std::string, std::string> AsMap(const std::vector<std::pair<std::string, std::string>>& entries) {
  return {entries.begin(), entries.end()};
}

// {KEY} references, [PLACEHOLDERS], link markup and $percent$, with how often each occurs.
std::multiset<std::string> Tokens(const std::string& text) {
  static const std::regex token(R"(\{[A-Za-z0-9_]+\}|\[[A-Z0-9_]+\]|<a href="[^"]*">|</a>|\$percent\$)");
  std::multiset<std::string> tokens;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), token); it != std::sregex_iterator(); ++it) {
    tokens.insert(it->str());
  }
  return tokens;
}

// What is left after the tokens are cut out must not look like a damaged one.
std::string Leftover(const std::string& text) {
  static const std::regex token(R"(\{[A-Za-z0-9_]+\}|\[[A-Z0-9_]+\]|<a href="[^"]*">|</a>|\$percent\$)");
  return std::regex_replace(text, token, "");
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + part.size())) ++count;
  return count;
}

// A document as the build stored it (deflated).
std::string StoredBytes(int id) {
  HMODULE module = win32::ModuleInstance();
  HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"LOCALE");
  if (resource == nullptr) return {};
  return std::string(static_cast<const char*>(::LockResource(::LoadResource(module, resource))),
                     ::SizeofResource(module, resource));
}

TEST(LocaleDocuments, OnlyAWholeDeflatedDocumentInflates) {
  const std::string stored = StoredBytes(105);
  EXPECT_EQ(i18n::InflateLocaleDocument(stored).rfind("<?xml", 0), 0u);
  EXPECT_EQ(i18n::InflateLocaleDocument(stored.substr(0, stored.size() - 1)), "");
  EXPECT_EQ(i18n::InflateLocaleDocument("<?xml version=\"1.0\"?><Locale name=\"en_US\"/>"), "");
}

TEST(LocaleDocuments, EveryDocumentParsesWithItsListedNameAsUtf8) {
  for (const LocaleSet* set : {&kDlm, &kIsv}) {
    testsupport::TestLanguageManager manager(testsupport::MakeConfig(set->type));
    EXPECT_EQ(manager.GetLocaleResourceIds().size(), set->documents.size());
    for (const auto& [id, name] : set->documents) {
      SCOPED_TRACE(id);
      tinyxml2::XMLDocument doc;
      ASSERT_TRUE(manager.LoadLocaleDocument(id, doc));
      const tinyxml2::XMLElement* root = doc.RootElement();
      ASSERT_NE(root, nullptr);
      EXPECT_STREQ(root->Name(), "Locale");
      ASSERT_NE(root->Attribute("name"), nullptr);
      EXPECT_EQ(std::string(root->Attribute("name")), name);
      EXPECT_EQ(i18n::InflateLocaleDocument(StoredBytes(id)).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0),
                0u);
      for (const auto& [key, text] : RawEntries(id)) {
        EXPECT_NO_THROW(win32::Utf8ToWide(text)) << key << " is not UTF-8";
      }
    }
    EXPECT_TRUE(manager.messages.empty());
  }
}

TEST(LocaleDocuments, EveryDocumentHasEachKeyOfItsEnglishSetOnce) {
  for (const LocaleSet* set : {&kDlm, &kIsv}) {
    const auto english = AsMap(RawEntries(set->englishId));
    ASSERT_FALSE(english.empty());
    for (const auto& [id, name] : set->documents) {
      SCOPED_TRACE(name + " (" + std::to_string(id) + ")");
      const auto entries = RawEntries(id);
      const auto translated = AsMap(entries);
      EXPECT_EQ(entries.size(), translated.size()) << "a key occurs twice";
      for (const auto& [key, text] : english) {
        if (KnownGaps(id).count(key) != 0) {
          EXPECT_EQ(translated.count(key), 0u) << key;
          continue;
        }
        ASSERT_EQ(translated.count(key), 1u) << "missing " << key;
        EXPECT_FALSE(translated.at(key).empty()) << key;
      }
      for (const auto& [key, text] : translated) EXPECT_EQ(english.count(key), 1u) << "extra key " << key;
    }
  }
}

TEST(LocaleDocuments, TranslationsKeepEveryPlaceholderAndLink) {
  for (const LocaleSet* set : {&kDlm, &kIsv}) {
    const auto english = AsMap(RawEntries(set->englishId));
    for (const auto& [id, name] : set->documents) {
      for (const auto& [key, text] : RawEntries(id)) {
        SCOPED_TRACE(name + " " + key);
        EXPECT_EQ(Tokens(text), Tokens(english.at(key))) << text;
        EXPECT_EQ(Leftover(text).find_first_of("{}[]<>$"), std::string::npos) << text;
      }
    }
  }
}

TEST(LocaleDocuments, TranslationsUseTheLineBreaksAndSpacingOfTheirEnglishText) {
  for (const LocaleSet* set : {&kDlm, &kIsv}) {
    const auto english = AsMap(RawEntries(set->englishId));
    for (const auto& [id, name] : set->documents) {
      for (const auto& [key, text] : RawEntries(id)) {
        SCOPED_TRACE(name + " " + key);
        const std::string& original = english.at(key);
        EXPECT_EQ(Count(text, "\r\n"), Count(original, "\r\n"));
        EXPECT_EQ(text.rfind("\r\n", 0) == 0, original.rfind("\r\n", 0) == 0);
        // Only the line breaks of the text itself; no layout whitespace of the XML file.
        EXPECT_EQ(Count(text, "\n"), Count(text, "\r\n"));
        EXPECT_EQ(text.find('\t'), std::string::npos);
        EXPECT_EQ(text.find("  "), std::string::npos);
        EXPECT_NE(text.front(), ' ');
        EXPECT_NE(text.back(), ' ');
      }
    }
  }
}

TEST(LocaleDocuments, PolishIsOneDocumentListedTwice) {
  EXPECT_FALSE(StoredBytes(108).empty());
  EXPECT_EQ(StoredBytes(108), StoredBytes(116));
}

}  // namespace
