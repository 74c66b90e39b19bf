// The English documents give exactly the texts of the key table once references are filled in.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "LocaleTestSupport.h"
#include "ui/ComboBox.h"

namespace {

using Table = std::map<std::string, std::string>;

const char kDisclaimerHead[] =
    "When you click \"Accept\", you agree to the installation of \"[PACKAGE_NAME]\" and that you have read the "
    "<a href=\"[PACKAGE_PRIVACY_URL]\">Privacy Policy</a> and agree to the terms of its "
    "<a href=\"[PACKAGE_EULA_URL]\">End User License Agreement</a>. Check \"Add/Remove Programs\" to uninstall.";

const Table kCommon = {
    {"SPLASH_TEXT", "To continue, please select your preferred language, and click \"Next\"."},
    {"WELCOME_TITLE", "Welcome to"},
    {"PRIVACY_LINK", "Privacy Policy"},
    {"SDK_LINK", "License"},
    {"PROGRESS_STAT_TEXT", "out of"},
    {"PROGRESS_STATUS", "$percent$ Completed"},
    {"PROGRESS_STATUS_START", "0% Completed"},
    {"PRODUCT_DISCLAIMER", kDisclaimerHead},
    {"BUTTON_DECLINE", "Decline"},
    {"BUTTON_CLOSE", "Close"},
    {"BUTTON_ACCEPT", "Accept"},
    {"BUTTON_NEXT", "Next"},
    {"BUTTON_RETRY", "Retry"},
    {"BUTTON_FINISH", "Finish"},
    {"BUTTON_SKIP_ALL", "Skip All"},
    {"MSG_EXIT", "Are you sure you want to exit the installer?"},
    {"PROGRESS_QUIT",
     "Some installer processes are already running in the background and will finish momentarily. Are you sure you "
     "would like to exit?"},
    {"PRODUCT_TITLE", "Tavrel Studio"},
};

Table DlmTable() {
  Table table = kCommon;
  table.insert({
      {"WELCOME_TEXT", "This will download Tavrel Studio on your computer. Click \"Next\" to continue."},
      {"TOS_LINK", "End User License Agreement"},
      {"PROGRESS_TITLE", "Downloading"},
      {"PROGRESS_DESC", "Downloading Tavrel Studio, sit back and relax"},
      {"PAGE_FINISH_TITLE", "Thank you.\r\nYou have successfully downloaded Tavrel Studio."},
      {"PAGE_FINISH_TEXT",
       "To install the software on your machine, click \"Launch\"\r\nClick the \"Finish\" button to exit the Setup "
       "Wizard"},
      {"LAUNCH_RADIO", "Launch"},
      {"OPEN_FOLDER_RADIO", "Open Folder"},
      {"OPEN_PRODUCT_SITE_CHECKBOX", "open product's site"},
      {"PAGE_DOWNLOAD_ERROR_TITLE", "Error in downloading"},
      {"PAGE_DOWNLOAD_ERROR_DESC", "Please try to download later"},
      {"PAGE_CONFIGURATION_ERROR_TITLE", "Something went wrong"},
      {"PAGE_CONFIGURATION_ERROR_DESC", "Please try to download later"},
  });
  return table;
}

Table IsvTable() {
  Table table = kCommon;
  table.insert({
      {"WELCOME_TEXT", "This will install Tavrel Studio on your computer. Click \"Next\" to continue."},
      {"EULA_LINK", "End User License Agreement"},
      {"PROGRESS_TITLE", "Installation Status"},
      {"PROGRESS_DESC", "Please wait while the installer wizard downloads and optimizes necessary packages."},
      {"PROGRESS_STAT_INSTALLING", "Installing..."},
      {"PROGRESS_STAT_FINISHED", "Installation completed. Please click \"Finish\" to continue."},
      {"PROGRESS_STATUS_MAIN", "Installing Tavrel Studio"},
      {"PAGE_FINISH_TITLE", "Thank you.\r\nYour installation is complete."},
      {"PAGE_FINISH_TEXT", "You have successfully installed Tavrel Studio. Click \"Finish\" to proceed."},
      {"LAUNCH_CHECKBOX", "Launch the application on exit"},
      {"UNINSTALL_TEXT",
       "\r\nTo uninstall all softwares installed during this installation process, please go to \"Add/Remove "
       "Programs\" and click \"Tavrel Studio Packages\"."},
      {"PAGE_ERROR_TITLE", "Error occurred while installing Tavrel Studio."},
      {"PAGE_ERROR_TEXT", "Click on \"Close\" and try again later."},
      {"BUTTON_AGREE", "Agree"},
      {"BUTTON_BACK", "Back"},
  });
  return table;
}

void ExpectEnglishTable(const wchar_t* type, int englishId, const Table& expected) {
  auto config = testsupport::MakeConfig(type);
  config->productTitle = L"Tavrel Studio";
  testsupport::TestLanguageManager manager(config);
  testsupport::ScratchCombo combo;
  manager.FillLanguageCombo(ui::ComboBox(combo.Get()));
  ASSERT_TRUE(manager.SetLanguage(L"English"));

  for (const auto& [key, text] : expected) EXPECT_EQ(manager.Utf8(key), text) << key;
  // The document holds exactly the table's keys (PRODUCT_TITLE is the manager's own).
  const auto raw = testsupport::RawEntries(englishId);
  EXPECT_EQ(raw.size() + 1, expected.size());
  for (const auto& [key, text] : raw) EXPECT_EQ(expected.count(key), 1u) << "unexpected key " << key;
  EXPECT_TRUE(manager.messages.empty());
}

std::string RawText(int id, const std::string& key) {
  for (const auto& [k, text] : testsupport::RawEntries(id)) {
    if (k == key) return text;
  }
  return {};
}

TEST(EnglishTexts, DownloadManagerGivesTheKeyTable) {
  ExpectEnglishTable(L"DLM", 105, DlmTable());
  EXPECT_NE(RawText(105, "PRODUCT_DISCLAIMER").find(">{TOS_LINK}</a>"), std::string::npos);
}

TEST(EnglishTexts, InstallerGivesTheKeyTable) {
  ExpectEnglishTable(L"ISV", 101, IsvTable());
  EXPECT_NE(RawText(101, "PRODUCT_DISCLAIMER").find(">{EULA_LINK}</a>"), std::string::npos);
}

TEST(EnglishTexts, ProductTitleAppearsOnceTheLanguageIsAppliedAgain) {
  auto config = testsupport::MakeConfig(L"DLM");
  testsupport::TestLanguageManager manager(config);
  testsupport::ScratchCombo combo;
  manager.FillLanguageCombo(ui::ComboBox(combo.Get()));
  ASSERT_TRUE(manager.SetLanguage(L"English"));
  EXPECT_EQ(manager.Utf8("WELCOME_TEXT"), "This will download  on your computer. Click \"Next\" to continue.");
  EXPECT_EQ(manager.GetString("PRODUCT_TITLE"), L"");

  config->productTitle = L"Tavrel Studio";
  ASSERT_TRUE(manager.SetLanguage(L"English"));
  EXPECT_EQ(manager.Utf8("WELCOME_TEXT"),
            "This will download Tavrel Studio on your computer. Click \"Next\" to continue.");
}

}  // namespace
