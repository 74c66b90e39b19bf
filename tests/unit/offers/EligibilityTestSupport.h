#pragma once
// What the eligibility tests share: facts a test sets, an evaluator that records its verdicts,
// and registry keys, files and processes made for one test and removed afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "offers/MachineFacts.h"
#include "offers/OfferRules.h"
#include "offers/Package.h"
#include "win32/UniqueResource.h"

// Facts a test sets; whatever it leaves unset is measured for real.
class TestFacts : public SystemMachineFacts {
 public:
  std::optional<Measurement> disk, memory;
  std::optional<ProcessorClock> cpu;
  std::optional<std::pair<DWORD, DWORD>> windowsVersion;
  std::optional<bool> is64BitWindows;
  std::optional<std::int64_t> now;
  std::optional<std::vector<std::wstring>> processes;

 protected:
  Measurement MeasureFreeDiskSpace() override { return disk ? *disk : SystemMachineFacts::MeasureFreeDiskSpace(); }
  Measurement MeasureTotalMemory() override { return memory ? *memory : SystemMachineFacts::MeasureTotalMemory(); }
  ProcessorClock ReadProcessorMHz() override { return cpu ? *cpu : SystemMachineFacts::ReadProcessorMHz(); }
  bool TestOsAtLeast(DWORD major, DWORD minor) override {
    return windowsVersion ? *windowsVersion >= std::make_pair(major, minor)
                          : SystemMachineFacts::TestOsAtLeast(major, minor);
  }
  std::optional<bool> Query64BitWindows() override {
    return is64BitWindows ? is64BitWindows : SystemMachineFacts::Query64BitWindows();
  }
  std::optional<std::vector<std::wstring>> ListProcesses() override {
    return processes ? processes : SystemMachineFacts::ListProcesses();
  }
  std::int64_t ReadClock() override { return now ? *now : SystemMachineFacts::ReadClock(); }
};

// An offer with the required texts and the given "ps" keys.
std::shared_ptr<Package> MakeOffer(const nlohmann::json& ps, const std::string& id = "offer", int index = 0);

// An evaluator whose rejection events are recorded instead of sent.
struct RulesUnderTest {
  explicit RulesUnderTest(int maxOffers = 100, std::shared_ptr<TestFacts> testFacts = std::make_shared<TestFacts>());
  // "accepted", "stop", "no event" (rejected silently) or the reason of the rejection event.
  std::string Verdict(const std::shared_ptr<Package>& package);
  std::string Verdict(const nlohmann::json& ps, const std::string& id = "offer");

  std::shared_ptr<TestFacts> facts;
  OfferRules rules;
  std::vector<std::shared_ptr<Package>> accepted;
  std::vector<std::string> reasons;
};

// Registry keys and values for one test, in the view it names; the destructor removes what was
// created and puts back what was replaced.
class RegistryScratch {
 public:
  RegistryScratch() = default;
  RegistryScratch(const RegistryScratch&) = delete;
  RegistryScratch& operator=(const RegistryScratch&) = delete;
  ~RegistryScratch();

  void Key(HKEY root, REGSAM view, const std::wstring& path);
  // Without data the value is removed for the test's duration.
  void Value(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name, DWORD type = REG_NONE,
             const void* data = nullptr, DWORD size = 0);
  void String(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name, const std::wstring& text) {
    Value(root, view, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void Dword(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name, DWORD value) {
    Value(root, view, path, name, REG_DWORD, &value, sizeof(value));
  }

 private:
  std::vector<std::function<void()>> m_undo;
};

// "Software\BrindleTest\Elig<pid>", and its lower-cased rule path below software.
std::wstring ScratchKey();
std::wstring ScratchRulePath();

// A file (with the folders it needed, below the temporary folder when relative), removed with
// them afterwards.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::filesystem::path& path);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  std::wstring Path() const { return m_path.wstring(); }
  std::wstring Folder() const { return m_path.parent_path().wstring(); }

 private:
  std::filesystem::path m_path;
  std::vector<std::filesystem::path> m_folders;  // deepest first
};

// A copy of the sleeper test program running under the given file name until destroyed.
class RunningProgram {
 public:
  explicit RunningProgram(const std::wstring& fileName);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

 private:
  TemporaryFile m_copy;
  win32::UniqueHandle m_process;
};
