// Machine checks: measured facts come through the seam, files and processes are real.
#include <windows.h>

#include <gtest/gtest.h>

#include "EligibilityTestSupport.h"
#include "config/ConfigurationManager.h"
#include "config/PathTokens.h"
#include "win32/Strings.h"

using nlohmann::json;

namespace {

TEST(SystemChecks, DiskMemoryAndProcessorBoundaries) {
  using Status = ProcessorClock::Status;
  const Measurement mb1000{true, (1000ULL << 20) + (1 << 20) - 1, 0}, failed{false, 0, 5};
  const struct {
    const char* key;
    int minimum;
    std::optional<Measurement> disk, memory;
    std::optional<ProcessorClock> cpu;
    const char* verdict;
  } cases[] = {
      {"disk", 1000, mb1000, {}, {}, "accepted"},
      {"disk", 1001, mb1000, {}, {}, "NOT ENOUGH DISK SPACE"},
      {"disk", 1, failed, {}, {}, "DISK SPACE CHECK FAILED 5"},
      {"ram", 1000, {}, mb1000, {}, "accepted"},
      {"ram", 1001, {}, mb1000, {}, "NOT ENOUGH RAM"},
      {"ram", 1, {}, failed, {}, "RAM CHECK FAILED 5"},
      {"cpu", 2400, {}, {}, ProcessorClock{Status::kOk, 2400}, "accepted"},
      {"cpu", 2401, {}, {}, ProcessorClock{Status::kOk, 2400}, "NOT ENOUGH CPU"},
      {"cpu", 1, {}, {}, ProcessorClock{Status::kOpenFailed, 0}, "CPU CHECK FAILED: Couldn't open registry"},
      {"cpu", 1, {}, {}, ProcessorClock{Status::kReadFailed, 0}, "CPU CHECK FAILED: Couldn't read value"},
  };
  for (const auto& c : cases) {
    RulesUnderTest t;
    t.facts->disk = c.disk;
    t.facts->memory = c.memory;
    t.facts->cpu = c.cpu;
    EXPECT_EQ(t.Verdict({{c.key, c.minimum}}), c.verdict) << c.key << " " << c.minimum;
  }
}

TEST(SystemChecks, ProcessorClockMustBeADword) {
  RegistryScratch scratch;
  const std::wstring key = ScratchKey() + L"\\Processor";
  EXPECT_EQ(ReadProcessorClock(HKEY_CURRENT_USER, key).status, ProcessorClock::Status::kOpenFailed);
  scratch.String(HKEY_CURRENT_USER, KEY_WOW64_64KEY, key, L"~MHz", L"2400");
  EXPECT_EQ(ReadProcessorClock(HKEY_CURRENT_USER, key).status, ProcessorClock::Status::kReadFailed);
  scratch.Dword(HKEY_CURRENT_USER, KEY_WOW64_64KEY, key, L"~MHz", 2400);
  EXPECT_EQ(ReadProcessorClock(HKEY_CURRENT_USER, key).mhz, 2400u);
}

TEST(SystemChecks, WindowsVersionCodes) {
  const struct {
    DWORD major, minor;
    int code;
    bool met;
  } cases[] = {{6, 2, 0, true},    {6, 2, -1, true},  {6, 2, 61, true},   {6, 2, 62, true},  {6, 2, 63, false},
               {6, 2, 100, false}, {6, 2, 64, false}, {10, 0, 100, true}, {10, 0, 70, false}};
  for (const auto& c : cases) {
    RulesUnderTest t;
    t.facts->windowsVersion = std::make_pair(c.major, c.minor);
    EXPECT_EQ(t.Verdict({{"ov", c.code}}), c.met ? "accepted" : "UNSUPPORTED OS VERSION") << c.code;
  }
}

TEST(SystemChecks, ProgramVersionAndSixtyFourBitWindows) {
  auto config = ConfigurationManager::GetInstance();
  const std::wstring saved = config->productVersion;
  const struct {
    const wchar_t* program;
    const char* required;
    bool met;
  } cases[] = {{L"1.2.0.0", "1.2", true}, {L"1.9.5", "1.10", false}, {L"1.10", "1.9.5", true}, {L"1.0", "", true}};
  for (const auto& c : cases) {
    config->productVersion = c.program;
    EXPECT_EQ(RulesUnderTest().Verdict({{"pv", c.required}}), c.met ? "accepted" : "UNSUPPORTED PLATFORM VERSION");
  }
  config->productVersion = saved;
  for (const bool is64 : {true, false}) {
    RulesUnderTest t;
    t.facts->is64BitWindows = is64;
    EXPECT_EQ(t.Verdict({{"win64", true}}), is64 ? "accepted" : "64 BIT OS REQUIRED");
  }
}

TEST(SystemChecks, Files) {
  TemporaryFile file(L"brindle-elig-files\\present.txt");
  const std::string present = win32::WideToUtf8(file.Path());
  const std::string missing = win32::WideToUtf8(file.Folder() + L"\\missing.txt");
  // The same file by a path that could as well name a network share: never looked at.
  const std::string device = "\\\\?\\" + present;
  const struct {
    json ps;
    const char* verdict;
  } cases[] = {{{{"fe", {missing}}}, "accepted"},
               {{{"fe", {missing, present}}}, "FILE EXISTS"},
               {{{"ife", {missing}}}, "NONE OF THE FILES EXISTS"},
               {{{"ife", {missing, present}}}, "accepted"},
               {{{"ife", {device}}}, "NONE OF THE FILES EXISTS"}};
  for (const auto& c : cases) EXPECT_EQ(RulesUnderTest().Verdict(c.ps), c.verdict) << c.ps.dump();
}

// Every form that is not a plain path on a local drive is absent, without any file system call:
// a rule cannot make the elevated wizard reach out to a network or open a device.
TEST(SystemChecks, NonLocalFilesAreAbsentWithoutBeingLookedAt) {
  TemporaryFile file(L"brindle-elig-files\\present.txt");
  const std::string local = win32::WideToUtf8(file.Path());
  for (const std::string& path :
       {std::string("\\\\127.0.0.1\\share\\setup.exe"), std::string("//127.0.0.1/share/setup.exe"),
        std::string("\\\\?\\UNC\\127.0.0.1\\share\\x"), "\\\\?\\" + local, "\\??\\" + local,
        std::string("\\\\.\\PhysicalDrive0"), std::string("\\\\127.0.0.1@SSL@443\\DavWWWRoot\\x.exe"),
        std::string("C:\\windows\\CON"), std::string("C:\\windows\\nul.txt"), local + ":stream",
        std::string("relative\\setup.exe"), std::string("C:setup.exe"), local.substr(0, 3) + "..\\x"}) {
    RulesUnderTest t;
    EXPECT_EQ(t.Verdict({{"ife", {path}}}), "NONE OF THE FILES EXISTS") << path;
    EXPECT_EQ(t.Verdict({{"fe", {path}}, {"v", 2}}), "accepted") << path;
    EXPECT_EQ(t.facts->Counters().fileProbes, 0) << path;
  }
  RulesUnderTest t;
  EXPECT_EQ(t.Verdict({{"ife", {local}}}), "accepted");
  EXPECT_EQ(t.facts->Counters().fileProbes, 1);
}

TEST(SystemChecks, RunningApplication) {
  const std::string n = std::to_string(::GetCurrentProcessId());
  RunningProgram tool(win32::Utf8ToWide("eligtool" + n + ".exe"));
  RunningProgram helper(win32::Utf8ToWide("eligaux" + n + ".helper.exe"));
  const struct {
    std::string name;
    bool running;
  } cases[] = {{"EligTool" + n, true}, {"eligtool" + n + ".exe", true},   {"eligtool" + n + ".com", false},
               {"eligaux" + n, false}, {"eligaux" + n + ".helper", true}, {"eligaux" + n + ".helper.exe", true}};
  for (const auto& c : cases) {
    EXPECT_EQ(RulesUnderTest().Verdict({{"a", {c.name}}}), c.running ? "APPLICATION RUNNING" : "accepted") << c.name;
  }
}

// Chrome is looked for in files named by path tokens (which differ per build) and through the
// App Paths registration, read in the 32-bit view.
TEST(SystemChecks, Chrome) {
  const auto verdicts = [] {
    std::string result;
    for (const auto& [required, excluded] : {std::pair{true, false}, {false, true}, {true, true}}) {
      auto package = MakeOffer(json::object());
      package->m_requiresChrome = required;
      package->m_requiresNoChrome = excluded;
      result += RulesUnderTest().Verdict(package) + ";";
    }
    return result;
  };
  EXPECT_EQ(verdicts(), "NO CHROME;accepted;NO CHROME;");
  {
    TemporaryFile chrome(config::ExpandPathTokens(L"{localappdata}\\Chromium\\Application\\chrome.exe",
                                                  ConfigurationManager::GetInstance()->GetPathTokens()));
    EXPECT_EQ(verdicts(), "accepted;HAVE CHROME;HAVE CHROME;");
  }
  TemporaryFile chrome(L"brindle-elig-chrome\\chrome.exe");
  RegistryScratch scratch;
  scratch.String(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY,
                 L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe", L"Path", chrome.Folder());
  EXPECT_EQ(verdicts(), "accepted;HAVE CHROME;HAVE CHROME;");
}

TEST(SystemChecks, InternetExplorerVersion) {
  const struct {
    const wchar_t* version;  // null: no value
    bool old;
  } cases[] = {{L"8.0.7601.17514", true}, {L"9.11.19041.0", false}, {L"abc", false}, {L"", false}, {nullptr, false}};
  for (const auto& c : cases) {
    RegistryScratch scratch;
    const std::wstring key = L"SOFTWARE\\Microsoft\\Internet Explorer";
    if (c.version) scratch.String(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key, L"Version", c.version);
    if (!c.version) scratch.Value(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key, L"Version");
    auto package = MakeOffer(json::object());
    package->m_checkIeVersion = true;
    EXPECT_EQ(RulesUnderTest().Verdict(package), c.old ? "OLD IE VERSION" : "accepted") << c.old;
  }
}

}  // namespace
