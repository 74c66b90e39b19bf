// Starting installers: the command line, the folder they run in, exit codes, launch
// failures and the record of installers still running.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "InstallTestSupport.h"
#include "config/Hashing.h"
#include "install/HeldFile.h"
#include "install/RunExecutable.h"
#include "install/StartedProcesses.h"
#include "pages/ShellLauncher.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

namespace {

using install::ExecResult;
using install::RunExecutable;
using installtest::Scratch;
using installtest::WaitForRecords;

bool IsListed(const std::wstring& folder) {
  const auto folders = install::StartedProcesses::GetInstance()->FoldersWithRunningProcesses();
  return std::find(folders.begin(), folders.end(), folder) != folders.end();
}

TEST(RunExecutable, QuotedPathSpaceArgumentsInTheInstallersFolder) {
  struct Case {
    const wchar_t* relativePath;
    const wchar_t* arguments;
  };
  for (const Case& c : {Case{L"plain\\setup.exe", L"/S"}, Case{L"with space\\my setup.exe", L""},
                        Case{L"q\\setup.exe", L"/D=\"C:\\Program Files\\Tool\" \"\" /S"}}) {
    Scratch scratch;
    const std::wstring exe = scratch[c.relativePath];
    installtest::Place(installtest::DataFile(L"test_installer.exe"), exe);
    // The wizard's own current folder is elsewhere (usually Downloads).
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::SetCurrentDirectoryW(temp);

    const ExecResult result = RunExecutable(exe, c.arguments, true);

    EXPECT_TRUE(result.started) << result.exitCode;
    const auto records = WaitForRecords(scratch.LogFolder());
    ASSERT_EQ(records.size(), 1u) << c.relativePath;
    EXPECT_EQ(records[0].at("cmdline"), win32::WideToUtf8(L"\"" + exe + L"\" " + c.arguments));
    EXPECT_EQ(records[0].at("cwd"), win32::WideToUtf8(exe.substr(0, exe.rfind(L'\\'))));
  }
}

TEST(RunExecutable, ExitCodeAndTextWhenWaitedOrNot) {
  struct Case {
    const wchar_t* name;
    bool wait;
    DWORD exitCode;
    const wchar_t* text;
  };
  for (const Case& c : {Case{L"setup-exit3.exe", true, 3, L"exit code = 3"}, Case{L"setup.exe", true, 0, L""},
                        Case{L"setup-exit3.exe", false, ExecResult::kNoExitCode, L"exit code = 4294967295"}}) {
    Scratch scratch;
    installtest::Place(installtest::DataFile(L"test_installer.exe"), scratch[c.name]);

    const ExecResult result = RunExecutable(scratch[c.name], L"", c.wait);

    EXPECT_TRUE(result.started) << c.name;
    EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(result.text, c.text) << c.name;
    WaitForRecords(scratch.LogFolder());
  }
}

TEST(RunExecutable, FailedStartIsAResultNotAnExitCode) {
  Scratch scratch;
  installtest::Place(installtest::DataFile(L"offer.zip"), scratch[L"offer.zip"]);
  for (const std::wstring& path : {scratch[L"missing.exe"], scratch[L"offer.zip"]}) {
    const ExecResult result = RunExecutable(path, L"/S", true);

    EXPECT_FALSE(result.started) << path;
    EXPECT_EQ(result.exitCode, ExecResult::kNoExitCode) << path;
    const std::wstring prefix = L"Error launching executable: ";
    EXPECT_EQ(result.text.substr(0, prefix.size()), prefix) << path;
    EXPECT_GT(result.text.size(), prefix.size()) << "the system's message follows: " << path;
  }
}

// A program whose content is not the one written is never started; while it is checked and
// started nobody may change it.
TEST(RunExecutable, StartsOnlyWhatWasWritten) {
  Scratch scratch;
  const std::wstring exe = scratch[L"setup.exe"];
  installtest::Place(installtest::DataFile(L"test_installer.exe"), exe);
  const std::string written = config::Sha256Hex(installtest::ReadBytes(exe));
  struct Case {
    std::string sha256;
    bool started;
  };
  for (const Case& c : {Case{"", false}, Case{std::string(64, '0'), false}, Case{written, true}}) {
    const ExecResult result = RunExecutable(exe, L"", true, {nullptr, c.sha256});
    EXPECT_EQ(result.started, c.started) << c.sha256;
    EXPECT_EQ(result.text, c.started ? L"" : install::kFileChangedText);
  }
  EXPECT_EQ(WaitForRecords(scratch.LogFolder()).size(), 1u);
  // Held for the check and the start: no writer gets in meanwhile.
  const install::HeldFile held(exe, written);
  EXPECT_TRUE(held.Matches());
  EXPECT_FALSE(win32::UniqueFile(::CreateFileW(exe.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, 0, nullptr)));
}

// A command meant to run without the wizard's rights goes through the desktop shell, which starts
// it from its own process: the program does not see the wizard's environment (its record goes
// beside it, not where BRINDLE_INSTALLER_LOG points). Wine's explorer provides that shell.
// Anything else is started by the wizard itself.
TEST(ShellExecuteLauncher, WithoutElevationTheDesktopShellStartsIt) {
  struct Case {
    bool withoutElevation;
    LaunchRoute route;
  };
  for (const Case& c : {Case{true, LaunchRoute::DesktopShell}, Case{false, LaunchRoute::Direct}}) {
    Scratch scratch;
    const std::wstring exe = scratch[L"app.exe"];
    installtest::Place(installtest::DataFile(L"test_installer.exe"), exe);
    EXPECT_EQ(ShellExecuteLauncher({L"open", exe, L"/id=shell", scratch.Path(), c.withoutElevation}), c.route);
    const auto records = WaitForRecords(c.withoutElevation ? scratch.Path() : scratch.LogFolder());
    ASSERT_EQ(records.size(), 1u) << c.withoutElevation;
    EXPECT_NE(records[0].at("cmdline").find("/id=shell"), std::string::npos);
  }
}

TEST(RunExecutable, RunsARealNsisInstallerSilently) {
  Scratch scratch;
  const std::wstring exe = scratch[L"nsis setup.exe"];
  installtest::Place(installtest::DataFile(L"nsis_setup.exe"), exe);

  const ExecResult result = RunExecutable(exe, L"/S", true);

  EXPECT_EQ(result.exitCode, 0u) << win32::WideToUtf8(result.text);
  const auto records = WaitForRecords(scratch.LogFolder());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].at("cmdline").find("/S"), std::string::npos);
  EXPECT_EQ(installtest::ReadBytes(scratch[L"log\\nsis-installed\\payload.txt"]),
            "Installed by the NSIS test installer.\r\n");
}

TEST(StartedProcesses, ListsTheFoldersOfInstallersUntilTheyExit) {
  Scratch scratch;
  installtest::Place(installtest::DataFile(L"test_installer.exe"), scratch[L"running\\setup.exe"]);
  installtest::Place(installtest::DataFile(L"test_installer.exe"), scratch[L"done\\setup.exe"]);

  ASSERT_TRUE(RunExecutable(scratch[L"running\\setup.exe"], L"/sleep=3000", false).started);
  ASSERT_TRUE(RunExecutable(scratch[L"done\\setup.exe"], L"", true).started);

  EXPECT_TRUE(IsListed(scratch[L"running"]));
  EXPECT_FALSE(IsListed(scratch[L"done"]));
  WaitForRecords(scratch.LogFolder(), 2);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (IsListed(scratch[L"running"]) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_FALSE(IsListed(scratch[L"running"]));
}

}  // namespace
