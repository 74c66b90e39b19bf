// Listing, choosing and loading languages, and how each failure is reported.
#include <windows.h>

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <string>
#include <thread>
#include <vector>

#include "BtTextKeys.h"
#include "LocaleTestSupport.h"
#include "UiDriver.h"
#include "pages/test_ids.h"
#include "resources/resource.h"
#include "ui/ComboBox.h"

namespace {

using testsupport::MakeConfig;
using testsupport::ScratchCombo;
using testsupport::TestLanguageManager;

const std::vector<std::wstring> kDlmLanguages = {L"English",
                                                 L"espa\u00f1ol",
                                                 L"portugu\u00eas",
                                                 L"polski",
                                                 L"\u010de\u0161tina",
                                                 L"dansk",
                                                 L"Deutsch",
                                                 L"suomi",
                                                 L"fran\u00e7ais",
                                                 L"italiano",
                                                 L"Nederlands",
                                                 L"polski",
                                                 L"\u0440\u0443\u0441\u0441\u043a\u0438\u0439",
                                                 L"T\u00fcrk\u00e7e"};

std::wstring NativeName(const wchar_t* locale) {
  wchar_t buffer[LOCALE_NAME_MAX_LENGTH] = {};
  ::GetLocaleInfoEx(locale, LOCALE_SNATIVELANGUAGENAME, buffer, LOCALE_NAME_MAX_LENGTH);
  return buffer;
}

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[256] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 256);
  return length > 0 && length < 256 ? buffer : L"";
}

TEST(LanguageManager, ResourceIdsFollowTheWizardType) {
  TestLanguageManager dlm(MakeConfig(L"DLM"));
  EXPECT_EQ(dlm.GetLocaleResourceIds(),
            (std::vector<int>{105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117, 118}));
  TestLanguageManager isv(MakeConfig(L"ISV"));
  EXPECT_EQ(isv.GetLocaleResourceIds(), (std::vector<int>{101, 102}));

  auto unknown = MakeConfig(L"DLM");
  unknown->wizardType = 0;
  TestLanguageManager none(unknown);
  EXPECT_TRUE(none.GetLocaleResourceIds().empty());
  EXPECT_EQ(none.messages, std::vector<std::wstring>{L"Unknown wizard type (language manager"});

  unknown->wizardType = 3;
  none.messages.clear();
  EXPECT_TRUE(none.GetLocaleResourceIds().empty());
  EXPECT_TRUE(none.messages.empty());
}

TEST(LanguageManager, DisplayNamesAreNativeLanguageNames) {
  TestLanguageManager manager(MakeConfig(L"DLM"));
  EXPECT_EQ(manager.GetLanguageDisplayName(L"en_US"), NativeName(L"en"));
  EXPECT_EQ(manager.GetLanguageDisplayName(L"en_US"), L"English");
  EXPECT_EQ(manager.GetLanguageDisplayName(L"pt_BR"), L"portugu\u00eas");
  EXPECT_EQ(manager.GetLanguageDisplayName(L"de"), L"Deutsch");
  EXPECT_EQ(manager.GetLanguageDisplayName(L"de-DE"), L"Deutsch");
  EXPECT_EQ(manager.GetLanguageDisplayName(L"zz_ZZ"), L"zz_ZZ");
  EXPECT_EQ(manager.GetLanguageDisplayName(L"q"), L"q");
}

TEST(LanguageManager, DownloadManagerListsFourteenEntriesWithPolishTwice) {
  auto config = MakeConfig(L"DLM");
  TestLanguageManager manager(config);
  ScratchCombo combo;
  manager.FillLanguageCombo(ui::ComboBox(combo.Get()));
  EXPECT_EQ(combo.Items(), kDlmLanguages);
  EXPECT_TRUE(combo.HasVisibleStyle());
  EXPECT_TRUE(manager.messages.empty());

  // Filling again starts from an empty list.
  manager.FillLanguageCombo(ui::ComboBox(combo.Get()));
  EXPECT_EQ(combo.Items().size(), kDlmLanguages.size());

  ASSERT_TRUE(manager.SetLanguage(L"polski"));
  EXPECT_EQ(config->languageName, L"polski");
  EXPECT_EQ(config->localeName, L"pl");
  EXPECT_EQ(manager.GetString("BUTTON_NEXT"), L"Dalej");
  ASSERT_TRUE(manager.SetLanguage(L"portugu\u00eas"));
  EXPECT_EQ(config->localeName, L"pt_BR");
  EXPECT_EQ(manager.GetString("BUTTON_NEXT"), L"Avan\u00e7ar");

  EXPECT_FALSE(manager.SetLanguage(L"Klingon"));
  EXPECT_FALSE(manager.SetLanguage(L""));
  EXPECT_EQ(config->languageName, L"portugu\u00eas");
  EXPECT_EQ(manager.GetString("BUTTON_NEXT"), L"Avan\u00e7ar");
}

TEST(LanguageManager, InstallerListsEnglishAndSpanish) {
  TestLanguageManager manager(MakeConfig(L"ISV"));
  ScratchCombo combo;
  manager.FillLanguageCombo(ui::ComboBox(combo.Get()));
  EXPECT_EQ(combo.Items(), (std::vector<std::wstring>{L"English", L"espa\u00f1ol"}));
  ASSERT_TRUE(manager.SetLanguage(L"espa\u00f1ol"));
  EXPECT_EQ(manager.GetString("BUTTON_NEXT"), L"Siguiente");
  EXPECT_EQ(manager.GetString("BUTTON_AGREE"), L"");  // not in that document
}

TEST(LanguageManager, NothingToListSelectsNothing) {
  auto config = MakeConfig(L"DLM");
  config->wizardType = 3;
  TestLanguageManager manager(config);
  ScratchCombo combo;
  manager.FillLanguageCombo(ui::ComboBox(combo.Get()));
  EXPECT_TRUE(combo.Items().empty());
  EXPECT_EQ(combo.Selected(), L"<none>");
  EXPECT_FALSE(manager.SetLanguage(L"English"));
}

TEST(LanguageManager, BtPagesGetTheirTextsAndNoVisibleList) {
  std::vector<const char*> kBtKeys(std::begin(kBtTextKeys), std::end(kBtTextKeys));
  kBtKeys.insert(kBtKeys.end(), {"BUTTON_AGREE", "BUTTON_BACK"});
  for (const wchar_t* type : {L"DLM", L"ISV"}) {
    SCOPED_TRACE(type);
    auto config = MakeConfig(type, true);
    config->productTitle = L"Tavrel Studio";
    TestLanguageManager manager(config);
    ScratchCombo combo;
    manager.FillLanguageCombo(ui::ComboBox(combo.Get()));
    EXPECT_FALSE(combo.HasVisibleStyle());
    EXPECT_EQ(combo.Selected(), L"English");
    ASSERT_TRUE(manager.SetLanguage(L"English"));
    for (const char* key : kBtKeys) {
      const std::string text = manager.Utf8(key);
      EXPECT_FALSE(text.empty()) << key;
      EXPECT_EQ(text.find('{'), std::string::npos) << key << ": " << text;
    }
    EXPECT_EQ(manager.Utf8("SPLASH_TITLE_BT"), "Welcome to the Tavrel Studio Setup Wizard");
    EXPECT_EQ(manager.Utf8("LICENSE_DISCLAIMER"),
              "By clicking \"Agree\" you accept the <a href=\"[LICENSE_TOS_URL]\">Terms of Service</a> and the "
              "<a href=\"[LICENSE_PRIVACY_URL]\">Privacy Policy</a>.");
    EXPECT_TRUE(manager.messages.empty());
  }

  // The language document's own texts win over the BT ones, and fill the BT texts' references.
  TestLanguageManager spanish(MakeConfig(L"ISV", true));
  ScratchCombo combo;
  spanish.FillLanguageCombo(ui::ComboBox(combo.Get()));
  ASSERT_TRUE(spanish.SetLanguage(L"espa\u00f1ol"));
  EXPECT_EQ(spanish.GetString("BUTTON_NEXT"), L"Siguiente");
  EXPECT_EQ(spanish.GetString("BUTTON_AGREE"), L"Agree");
  EXPECT_NE(spanish.GetString("LICENSE_DISCLAIMER").find(L">Pol\u00edtica de privacidad</a>"), std::wstring::npos);

  // Without the BT page set they are not loaded at all.
  TestLanguageManager plain(MakeConfig(L"DLM"));
  ScratchCombo plainCombo;
  plain.FillLanguageCombo(ui::ComboBox(plainCombo.Get()));
  ASSERT_TRUE(plain.SetLanguage(L"English"));
  EXPECT_EQ(plain.GetString("SPLASH_TITLE_BT"), L"");
  EXPECT_EQ(plain.GetString("BUTTON_BACK"), L"");
}

TEST(LanguageManager, BrokenDocumentsAreReportedAndSkipped) {
  auto config = MakeConfig(L"DLM");
  TestLanguageManager manager(config);
  manager.ids = std::vector<int>{105,
                                 IDR_TEST_LOCALE_MISSING,
                                 IDR_TEST_LOCALE_BLANK,
                                 IDR_TEST_LOCALE_EMPTY,
                                 IDR_TEST_LOCALE_MALFORMED,
                                 IDR_TEST_LOCALE_NO_ROOT,
                                 IDR_TEST_LOCALE_NO_NAME,
                                 IDR_TEST_LOCALE_EMPTY_ENTRY,
                                 111};
  ScratchCombo combo;
  manager.FillLanguageCombo(ui::ComboBox(combo.Get()));
  EXPECT_EQ(combo.Items(), (std::vector<std::wstring>{L"English", L"xx", L"Deutsch"}));

  const std::wstring parse = L"Failed to parse language xml file, error code: ";
  ASSERT_EQ(manager.messages.size(), 5u);
  EXPECT_EQ(manager.messages[0], L"Failed to find resource with id: 9299");
  // A blank line (resource 120 of the delivered build) and a zero-length resource are both
  // empty documents.
  for (int i : {1, 2}) {
    EXPECT_EQ(manager.messages[i].rfind(parse, 0), 0u);
    EXPECT_NE(manager.messages[i].find(L"XML_ERROR_EMPTY_DOCUMENT"), std::wstring::npos) << manager.messages[i];
  }
  EXPECT_EQ(manager.messages[3].rfind(parse, 0), 0u);
  EXPECT_NE(manager.messages[3].find(L"XML_ERROR_MISMATCHED_ELEMENT"), std::wstring::npos) << manager.messages[3];
  EXPECT_EQ(manager.messages[4], parse + L"No name attribute");

  // A listed document whose entries cannot be read is a failed change: the language stays,
  // texts included (the document fails after its first entry was read).
  ASSERT_TRUE(manager.SetLanguage(L"Deutsch"));
  manager.messages.clear();
  EXPECT_FALSE(manager.SetLanguage(L"xx"));
  EXPECT_EQ(manager.messages, std::vector<std::wstring>{parse + L"No name or text attribute"});
  EXPECT_EQ(config->languageName, L"Deutsch");
  EXPECT_EQ(config->localeName, L"de");
  EXPECT_EQ(manager.GetString("BUTTON_NEXT"), L"Weiter");
  EXPECT_EQ(manager.GetString("BUTTON_FINISH"), L"Fertig stellen");
}

// Without a sink the failure is a message box; another thread answers it as a user would.
TEST(LanguageManager, FailuresShowAMessageBoxByDefault) {
  struct Plain : LanguageManager {
    using LanguageManager::LanguageManager;
    using LanguageManager::LoadLocaleDocument;
  } manager(nullptr, MakeConfig(L"DLM"));
  std::wstring shown;
  std::thread user([&shown] {
    HWND box = uidriver::WaitFor([] { return uidriver::FindMessageBox(::GetCurrentProcessId()); }, 15000);
    if (box == nullptr) return;
    shown = uidriver::MessageBoxText(box);
    uidriver::Click(::GetDlgItem(box, IDOK));
  });
  tinyxml2::XMLDocument doc;
  EXPECT_FALSE(manager.LoadLocaleDocument(IDR_TEST_LOCALE_MISSING, doc));
  user.join();
  EXPECT_EQ(shown, L"Failed to find resource with id: 9299");
}

// Run by CTest under a user locale made with localedef; the expectations come with it.
TEST(UserLocale, TheUsersLanguageIsPreselected) {
  const std::wstring expectedLocale = Env(L"BRINDLE_EXPECT_USER_LOCALE");
  if (expectedLocale.empty()) GTEST_SKIP() << "runs only with a user locale set up by CTest";
  wchar_t userLocale[LOCALE_NAME_MAX_LENGTH] = {};
  ASSERT_GT(::GetUserDefaultLocaleName(userLocale, LOCALE_NAME_MAX_LENGTH), 0);
  ASSERT_EQ(std::wstring(userLocale), expectedLocale) << "Wine did not take the locale from LANG";

  TestLanguageManager manager(MakeConfig(L"DLM"));
  ScratchCombo combo;
  manager.FillLanguageCombo(ui::ComboBox(combo.Get()));
  EXPECT_EQ(combo.Items(), kDlmLanguages);
  EXPECT_EQ(ui::ComboBox(combo.Get()).GetCurSel(), std::stoi(Env(L"BRINDLE_EXPECT_SELECTION_INDEX")));
  EXPECT_EQ(combo.Selected(), Env(L"BRINDLE_EXPECT_SELECTION"));
}

}  // namespace
