#include "config/ConfigurationManager.h"
#include "config/FolderSecurity.h"

#include <knownfolders.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <vector>

#include <regex>
#include <thread>

#include "config/PathTokens.h"

namespace {

config::BuildSettings Settings(const wchar_t* type) {
  config::BuildSettings settings = config::GetBuildSettings();
  settings.wizardTypeName = type;
  return settings;
}

// Removes the work folders a test creates.
struct WorkFolderCleanup {
  std::vector<std::wstring> folders;
  ~WorkFolderCleanup() {
    for (const auto& folder : folders) ::RemoveDirectoryW(folder.c_str());
  }
};

TEST(ConfigurationManager, DownloadManagerDefaults) {
  ConfigurationManager manager(Settings(L"DLM"));
  WorkFolderCleanup cleanup{{manager.workFolder}};
  EXPECT_EQ(manager.wizardType, 1);
  EXPECT_TRUE(manager.failuresAsFinished);
  EXPECT_FALSE(manager.btPages);
  EXPECT_EQ(manager.productTitle, L"");
  EXPECT_EQ(manager.account, L"Tavrel");
  EXPECT_EQ(manager.installerName, L"Tavrel_DLM");
  EXPECT_EQ(manager.setupName, L"Tavrel_3cpp");
  EXPECT_EQ(manager.productVersion, L"3.2.2.12299");
  EXPECT_EQ(manager.configurationUrl, L"https://localhost/o");
  EXPECT_EQ(manager.eventsUrl, L"https://localhost/zbd");
  EXPECT_EQ(manager.offerFilesBaseUrl, L"https://localhost/f/");
  EXPECT_EQ(manager.wizardPrivacyUrl.rfind(L"https://", 0), 0u);
  EXPECT_NE(manager.wizardPrivacyUrl.find(L"/privacy/"), std::wstring::npos);
  EXPECT_EQ(manager.backgroundColor, 0xFAFAFAu);
  // Blue in the high byte: red 2, green 119, blue 189.
  EXPECT_EQ(manager.accentColor, 0xBD7702u);
  EXPECT_EQ(GetRValue(manager.accentColor), 2);
  EXPECT_EQ(GetBValue(manager.accentColor), 189);
  EXPECT_EQ(manager.downloadFolder, config::GetKnownFolder(FOLDERID_Downloads));
  EXPECT_TRUE(::PathIsDirectoryW(manager.workFolder.c_str()));
  EXPECT_NE(manager.workFolder, manager.downloadFolder);
  EXPECT_EQ(manager.maxOffers, 0);
  EXPECT_FALSE(manager.exiting);
}

TEST(ConfigurationManager, InstallerDefaults) {
  ConfigurationManager manager(Settings(L"ISV"));
  WorkFolderCleanup cleanup{{manager.workFolder}};
  EXPECT_EQ(manager.wizardType, 2);
  EXPECT_EQ(manager.productTitle, L"Tavrel");
  // The product is a build setting; the test build names one of the service's test installers.
  EXPECT_EQ(manager.productUrl, config::GetBuildSettings().isvProductUrl);
  EXPECT_TRUE(::PathIsDirectoryW(manager.workFolder.c_str()));
  EXPECT_EQ(manager.downloadFolder, manager.workFolder);
}

TEST(ConfigurationManager, WorkFoldersAreUniqueAndLeaveNoTempFile) {
  ConfigurationManager first(Settings(L"DLM"));
  ConfigurationManager second(Settings(L"DLM"));
  WorkFolderCleanup cleanup{{first.workFolder, second.workFolder}};
  EXPECT_NE(first.workFolder, second.workFolder);
  for (const auto* manager : {&first, &second}) {
    const std::wstring& folder = manager->workFolder;
    EXPECT_TRUE(::PathIsDirectoryW(folder.c_str())) << "a directory, not the temporary file";
    const std::wstring name = ::PathFindFileNameW(folder.c_str());
    EXPECT_EQ(name.rfind(L"ISV", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 4), L".tmp");
  }
}

// Wine keeps no folder's security descriptor (it derives one from Unix permissions), so what
// is proved here is the descriptor the work folder is created with; Windows enforces it.
TEST(ConfigurationManager, TheWorkFolderIsTheAdministratorsAlone) {
  config::WorkFolderSecurity security;
  ASSERT_NE(security.Attributes(), nullptr);
  PSECURITY_DESCRIPTOR descriptor = security.Attributes()->lpSecurityDescriptor;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from %TEMP%";
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl != nullptr);
  const auto sid = [](WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> bytes(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(bytes.size());
    EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, bytes.data(), &size));
    return bytes;
  };
  const std::vector<std::vector<BYTE>> users = {sid(WinBuiltinUsersSid), sid(WinAuthenticatedUserSid), sid(WinWorldSid),
                                                sid(WinInteractiveSid)};
  const std::vector<BYTE> administrators = sid(WinBuiltinAdministratorsSid);
  constexpr ACCESS_MASK kChanging = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                    FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  bool administratorsMayWrite = false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, &ace));
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    ASSERT_EQ(header->AceType, ACCESS_ALLOWED_ACE_TYPE) << "allow entries only";
    EXPECT_EQ(header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)
        << "everything below the folder inherits it";
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    PSID who = const_cast<DWORD*>(&allowed->SidStart);
    for (const auto& user : users) {
      EXPECT_FALSE(::EqualSid(who, const_cast<BYTE*>(user.data())) && (allowed->Mask & kChanging)) << i;
    }
    administratorsMayWrite |= ::EqualSid(who, const_cast<BYTE*>(administrators.data())) && (allowed->Mask & DELETE);
  }
  EXPECT_TRUE(administratorsMayWrite);
}

TEST(ConfigurationManager, RunStampIsFixedAtFirstUse) {
  ConfigurationManager manager(Settings(L"DLM"));
  WorkFolderCleanup cleanup{{manager.workFolder}};
  EXPECT_EQ(manager.runStamp, "");
  const std::string stamp = manager.GetRunStamp();
  EXPECT_TRUE(std::regex_match(stamp, std::regex("20[0-9]{12}"))) << stamp;
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(manager.GetRunStamp(), stamp);
}

TEST(ConfigurationManager, MachineIdIsCachedAndSharedInstanceIsOne) {
  auto a = ConfigurationManager::GetInstance();
  auto b = ConfigurationManager::GetInstance();
  EXPECT_EQ(a.get(), b.get());
  EXPECT_EQ(a->GetMachineId(), a->machineId);
}

TEST(Timestamp, LocalDateFormatting) {
  EXPECT_EQ(FormatLocalTimestamp(-100000000000000LL, "%Y"), "");  // outside what the CRT converts
  EXPECT_EQ(FormatLocalTimestamp(86400LL * 365, "%Y").size(), 4u);
}

}  // namespace
