// Machine checks: measured facts come through the seam, files and processes are real.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "EligibilityTestSupport.h"
#include "config/ConfigurationManager.h"
#include "config/PathTokens.h"
#include "ui/Strings.h"

using nlohmann::json;

namespace {

constexpr std::uint64_t kMB = 1 << 20;

TEST(SystemChecks, DiskMemoryAndProcessorBoundaries) {
  using Status = ProcessorClock::Status;
  const Measurement failed{false, 0, 5};
  const struct {
    const char* key;
    int minimum;
    std::optional<Measurement> disk, memory;
    std::optional<ProcessorClock> cpu;
    const char* verdict;
  } cases[] = {
      {"disk", 1000, Measurement{true, 1000 * kMB + kMB - 1, 0}, {}, {}, "accepted"},
      {"disk", 1001, Measurement{true, 1000 * kMB + kMB - 1, 0}, {}, {}, "NOT ENOUGH DISK SPACE"},
      {"disk", 1, failed, {}, {}, "DISK SPACE CHECK FAILED 5"},
      {"ram", 4096, {}, Measurement{true, 4096 * kMB, 0}, {}, "accepted"},
      {"ram", 4097, {}, Measurement{true, 4096 * kMB, 0}, {}, "NOT ENOUGH RAM"},
      {"ram", 1, {}, Measurement{false, 0, 8}, {}, "RAM CHECK FAILED 8"},
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

// The clock must be a REG_DWORD; anything else is not a clock.
TEST(SystemChecks, ProcessorClockValue) {
  RegistryScratch scratch;
  const std::wstring key = ScratchKey() + L"\\Processor";
  EXPECT_EQ(ReadProcessorClock(HKEY_CURRENT_USER, key).status, ProcessorClock::Status::kOpenFailed);
  scratch.String(HKEY_CURRENT_USER, 0, key, L"~MHz", L"2400");
  EXPECT_EQ(ReadProcessorClock(HKEY_CURRENT_USER, key).status, ProcessorClock::Status::kReadFailed);
  scratch.Dword(HKEY_CURRENT_USER, 0, key, L"~MHz", 2400);
  const ProcessorClock clock = ReadProcessorClock(HKEY_CURRENT_USER, key);
  EXPECT_EQ(clock.status, ProcessorClock::Status::kOk);
  EXPECT_EQ(clock.mhz, 2400u);
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

TEST(SystemChecks, ProgramVersion) {
  auto config = ConfigurationManager::GetInstance();
  const std::wstring saved = config->productVersion;
  const struct {
    const wchar_t* program;
    const char* required;
    bool met;
  } cases[] = {{L"1.2.0.0", "1.2", true}, {L"1.9.5", "1.10", false}, {L"1.10", "1.9.5", true}, {L"1.0", "", true}};
  for (const auto& c : cases) {
    config->productVersion = c.program;
    RulesUnderTest t;
    EXPECT_EQ(t.Verdict({{"pv", c.required}}), c.met ? "accepted" : "UNSUPPORTED PLATFORM VERSION") << c.required;
  }
  config->productVersion = saved;
}

TEST(SystemChecks, SixtyFourBitWindows) {
  for (const bool is64 : {true, false}) {
    RulesUnderTest t;
    t.facts->is64BitWindows = is64;
    EXPECT_EQ(t.Verdict({{"win64", true}}), is64 ? "accepted" : "64 BIT OS REQUIRED");
  }
}

TEST(SystemChecks, Files) {
  ScratchFolder folder;
  const std::string present = ui::WideToUtf8(folder.File(L"present.txt"));
  const std::string missing = ui::WideToUtf8(folder.Path() + L"\\missing.txt");
  const struct {
    json ps;
    const char* verdict;
  } cases[] = {
      {{{"fe", {missing}}}, "accepted"},
      {{{"fe", {missing, present}}}, "FILE EXISTS"},
      {{{"ife", {missing}}}, "NONE OF THE FILES EXISTS"},
      {{{"ife", {missing, present}}}, "accepted"},
  };
  for (const auto& c : cases) EXPECT_EQ(RulesUnderTest().Verdict(c.ps), c.verdict) << c.ps.dump();
}

TEST(SystemChecks, RunningApplication) {
  const std::wstring id = std::to_wstring(::GetCurrentProcessId());
  RunningProgram tool(L"eligtool" + id + L".exe");
  RunningProgram helper(L"eligaux" + id + L".helper.exe");
  const std::string n = std::to_string(::GetCurrentProcessId());
  const struct {
    std::string name;
    bool running;
  } cases[] = {
      {"EligTool" + n, true}, {"eligtool" + n + ".exe", true},   {"eligtool" + n + ".com", false},
      {"eligaux" + n, false}, {"eligaux" + n + ".helper", true}, {"eligaux" + n + ".helper.exe", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RulesUnderTest().Verdict({{"a", {c.name}}}), c.running ? "APPLICATION RUNNING" : "accepted") << c.name;
  }
}

// A file made for one test with the folders it needed; all removed afterwards.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::filesystem::path& path) : m_path(path) {
    for (auto folder = path.parent_path(); !std::filesystem::exists(folder); folder = folder.parent_path()) {
      m_folders.push_back(folder);
    }
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path).put('x');
  }
  ~TemporaryFile() {
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
    for (const auto& folder : m_folders) std::filesystem::remove(folder, ignored);
  }

 private:
  std::filesystem::path m_path;
  std::vector<std::filesystem::path> m_folders;  // deepest first
};

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
  ScratchFolder folder;
  folder.File(L"chrome.exe");
  RegistryScratch scratch;
  scratch.String(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY,
                 L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\chrome.exe", L"Path", folder.Path());
  EXPECT_EQ(verdicts(), "accepted;HAVE CHROME;HAVE CHROME;");
}

TEST(SystemChecks, InternetExplorerVersion) {
  const std::wstring key = L"SOFTWARE\\Microsoft\\Internet Explorer";
  const struct {
    const wchar_t* version;  // null: no value
    bool old;
  } cases[] = {{L"8.0.7601.17514", true}, {L"9.11.19041.0", false}, {L"abc", false}, {L"", false}, {nullptr, false}};
  for (const auto& c : cases) {
    RegistryScratch scratch;
    if (c.version) {
      scratch.String(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key, L"Version", c.version);
    } else {
      scratch.Absent(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, key, L"Version");
    }
    auto package = MakeOffer(json::object());
    package->m_checkIeVersion = true;
    EXPECT_EQ(RulesUnderTest().Verdict(package), c.old ? "OLD IE VERSION" : "accepted")
        << (c.version ? c.version : L"-");
  }
}

}  // namespace
