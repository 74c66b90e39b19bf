// Recognising archives, unpacking ZIP files safely and picking the installer inside.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "InstallTestSupport.h"
#include "config/Hashing.h"
#include "install/InstallerFiles.h"
#include "install/RunExecutable.h"
#include "install/ZipExtractor.h"
#include "win32/Strings.h"

namespace {

using install::ArchiveType;
using installtest::Contents;
using installtest::DataFile;
using installtest::Scratch;

TEST(GetArchiveType, BySignatureNotByName) {
  const std::string zip = installtest::ReadBytes(DataFile(L"offer.zip"));
  struct Case {
    const wchar_t* name;
    std::string bytes;
    ArchiveType type;
  };
  const Case cases[] = {{L"empty.zip", "", ArchiveType::None},
                        {L"short.zip", "PK\x03", ArchiveType::None},
                        {L"archive.7z", std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8), ArchiveType::SevenZip},
                        {L"cut.7z", "7z\xBC\xAF\x27", ArchiveType::None},
                        {L"setup.exe", zip, ArchiveType::Zip},
                        {L"setup", zip, ArchiveType::Zip},
                        {L"real.exe", installtest::ReadBytes(DataFile(L"test_installer.exe")), ArchiveType::None}};
  Scratch scratch;
  for (const Case& c : cases) {
    installtest::WriteBytes(scratch[c.name], c.bytes);
    EXPECT_EQ(install::GetArchiveType(scratch[c.name]), c.type) << win32::WideToUtf8(c.name);
  }
  EXPECT_EQ(install::GetArchiveType(scratch[L"missing.zip"]), ArchiveType::None);
}

TEST(MakeExtractFolder, NamedAfterTheFileWithoutItsLastExtension) {
  Scratch scratch;
  const std::wstring base = scratch.Path();
  EXPECT_EQ(install::MakeExtractFolder(base + L"\\dl\\tool.setup.zip", base), base + L"\\tool.setup");
  EXPECT_EQ(install::MakeExtractFolder(base + L"\\dl\\tool.setup.zip", base), L"")
      << "a folder already there is never used";
  EXPECT_EQ(install::MakeExtractFolder(L"setup.zip", base), L"") << "no folder part: the base is there already";

  // A ZIP downloaded without extension is itself the file of that name.
  installtest::WriteBytes(scratch[L"setup"], "PK\x03\x04");
  EXPECT_EQ(install::MakeExtractFolder(scratch[L"setup"], base), base + L"\\setup_2");
  EXPECT_EQ(Contents(scratch[L"setup_2"]), std::vector<std::wstring>{});
}

TEST(ExtractArchive, UnpacksEveryEntry) {
  Scratch scratch;
  install::ExtractLimits exact;
  exact.maxEntries = 4;  // as many as the archive holds
  ASSERT_TRUE(install::ExtractArchive(DataFile(L"offer.zip"), scratch.Path(), exact));
  EXPECT_EQ(Contents(scratch.Path()), (std::vector<std::wstring>{L"Setup.exe", L"docs", L"log", L"payload.txt"}));
  EXPECT_EQ(installtest::ReadBytes(scratch[L"payload.txt"]), "payload beside the installer");
  EXPECT_EQ(installtest::ReadBytes(scratch[L"docs\\L\u00e4s mig.txt"]), "hej") << "a UTF-8 name";
  EXPECT_EQ(installtest::ReadBytes(scratch[L"Setup.exe"]), installtest::ReadBytes(DataFile(L"test_installer.exe")));
}

TEST(ExtractArchive, RefusedArchivesLeaveNothingBehind) {
  const install::ExtractLimits defaults;
  install::ExtractLimits small;
  small.maxTotalBytes = 1000;
  install::ExtractLimits few;
  few.maxEntries = 3;  // one fewer than the archive holds
  struct Case {
    const wchar_t* archive;
    const install::ExtractLimits& limits;
    bool stopped = false;  // the wizard is closing
  };
  for (const Case& c :
       {Case{L"empty.zip", defaults}, Case{L"dotdot.zip", defaults}, Case{L"dotdot_slash.zip", defaults},
        Case{L"drive.zip", defaults}, Case{L"absolute.zip", defaults}, Case{L"stream.zip", defaults},
        Case{L"device.zip", defaults}, Case{L"trailing_dot.zip", defaults}, Case{L"symlink.zip", defaults},
        Case{L"encrypted.zip", defaults}, Case{L"bomb.zip", defaults}, Case{L"damaged.zip", defaults},
        Case{L"offer.zip", small}, Case{L"offer.zip", few}, Case{L"missing.zip", defaults},
        Case{L"offer.zip", defaults, true}}) {
    Scratch scratch;
    const std::atomic<bool> stop{c.stopped};
    EXPECT_FALSE(install::ExtractArchive(DataFile(c.archive), scratch.Path(), c.limits, &stop))
        << win32::WideToUtf8(c.archive);
    EXPECT_EQ(Contents(scratch.Path()), std::vector<std::wstring>{L"log"}) << win32::WideToUtf8(c.archive);
  }
}

TEST(ExtractArchive, NeverReplacesWhatIsThere) {
  Scratch scratch;
  installtest::WriteBytes(scratch[L"payload.txt"], "mine");
  EXPECT_FALSE(install::ExtractArchive(DataFile(L"offer.zip"), scratch.Path()));
  EXPECT_EQ(Contents(scratch.Path()), (std::vector<std::wstring>{L"log", L"payload.txt"}));
  EXPECT_EQ(installtest::ReadBytes(scratch[L"payload.txt"]), "mine");
}

std::string Sha256Of(const std::wstring& path) { return config::Sha256Hex(installtest::ReadBytes(path)); }

// The program is named by the archive's own entries and carries the hash of what was written
// for it; anything doubtful leaves the download itself, whose start then fails.
TEST(PrepareInstaller, TheSmallestTopLevelExeAmongTheEntriesWithItsHash) {
  struct Case {
    const wchar_t* archive;
    ArchiveType type;
    const wchar_t* result;              // relative to the scratch folder
    const char* archiveHash = nullptr;  // default: the archive's own
    const wchar_t* inTheWay = nullptr;  // a folder already there
  };
  for (const Case& c : {Case{L"offer.zip", ArchiveType::Zip, L"offer\\Setup.exe"},
                        Case{L"two_exes.zip", ArchiveType::Zip, L"two_exes\\b.exe"},
                        Case{L"nested.zip", ArchiveType::Zip, L"dl\\nested.zip"},
                        Case{L"dotdot.zip", ArchiveType::Zip, L"dl\\dotdot.zip"},
                        Case{L"offer.zip", ArchiveType::SevenZip, L"dl\\offer.zip"},
                        Case{L"offer.zip", ArchiveType::None, L"dl\\offer.zip"},
                        Case{L"offer.zip", ArchiveType::Zip, L"dl\\offer.zip", "0123"},
                        Case{L"offer.zip", ArchiveType::Zip, L"dl\\offer.zip", nullptr, L"offer"}}) {
    Scratch scratch;
    const std::wstring download = scratch[std::wstring(L"dl\\") + c.archive];
    installtest::Place(DataFile(c.archive), download);
    if (c.inTheWay != nullptr) ::CreateDirectoryW(scratch[c.inTheWay].c_str(), nullptr);
    const std::string hash = c.archiveHash != nullptr ? c.archiveHash : Sha256Of(download);
    const install::Installer program = install::PrepareInstaller({download, hash}, c.type, scratch.Path());
    EXPECT_EQ(program.path, scratch[c.result]) << win32::WideToUtf8(c.archive);
    EXPECT_EQ(program.sha256, program.path == download ? hash : Sha256Of(program.path)) << win32::WideToUtf8(c.archive);
  }
}

TEST(PrepareInstaller, OnAWorkerThreadTheUnpackedInstallerRunsAndFindsItsFiles) {
  Scratch scratch;
  installtest::Place(DataFile(L"offer.zip"), scratch[L"dl\\offer.zip"]);
  const install::Installer installer =
      std::async(std::launch::async, [&] {
        return install::PrepareInstaller({scratch[L"dl\\offer.zip"], std::nullopt}, ArchiveType::Zip, scratch.Path());
      }).get();

  EXPECT_TRUE(install::RunExecutable(installer.path, L"/read=payload.txt", true, {nullptr, installer.sha256}).started);
  const auto records = installtest::WaitForRecords(scratch.LogFolder());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].at("data"), "payload beside the installer");
}

}  // namespace
