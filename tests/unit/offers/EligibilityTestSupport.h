#pragma once
// What the eligibility tests share: facts a test sets, an evaluator that records its verdicts,
// and registry keys created for one test in the view it names.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "offers/MachineFacts.h"
#include "offers/OfferRules.h"
#include "offers/Package.h"
#include "ui/UniqueResource.h"

// Facts a test sets; whatever it leaves unset is measured for real.
class TestFacts : public SystemMachineFacts {
 public:
  std::optional<Measurement> disk, memory;
  std::optional<ProcessorClock> cpu;
  std::optional<std::pair<DWORD, DWORD>> windowsVersion;
  std::optional<bool> is64BitWindows;
  std::optional<std::int64_t> now;

 protected:
  Measurement MeasureFreeDiskSpace() override { return disk ? *disk : SystemMachineFacts::MeasureFreeDiskSpace(); }
  Measurement MeasureTotalMemory() override { return memory ? *memory : SystemMachineFacts::MeasureTotalMemory(); }
  ProcessorClock ReadProcessorMHz() override { return cpu ? *cpu : SystemMachineFacts::ReadProcessorMHz(); }
  bool TestOsAtLeast(DWORD major, DWORD minor) override {
    if (!windowsVersion) return SystemMachineFacts::TestOsAtLeast(major, minor);
    return *windowsVersion >= std::make_pair(major, minor);
  }
  std::optional<bool> Query64BitWindows() override {
    return is64BitWindows ? is64BitWindows : SystemMachineFacts::Query64BitWindows();
  }
  std::int64_t ReadClock() override { return now ? *now : SystemMachineFacts::ReadClock(); }
};

// An offer with the required texts and the given "ps" keys.
std::shared_ptr<Package> MakeOffer(const nlohmann::json& ps, const std::string& id = "offer", int index = 0);

// An evaluator whose rejection events are recorded instead of sent.
class RulesUnderTest {
 public:
  explicit RulesUnderTest(int maxOffers = 100, std::shared_ptr<TestFacts> facts = std::make_shared<TestFacts>());
  // "accepted", "stop", "no event" (rejected silently) or the reason of the rejection event.
  std::string Verdict(const std::shared_ptr<Package>& package);
  std::string Verdict(const nlohmann::json& ps, const std::string& id = "offer");

  std::shared_ptr<TestFacts> facts;
  OfferRules rules;
  std::vector<std::shared_ptr<Package>> accepted;
  std::vector<std::string> reasons;
};

// Keys and values one test relies on, created in the view it names; the destructor removes
// what was created and puts back what was replaced.
class RegistryScratch {
 public:
  RegistryScratch() = default;
  RegistryScratch(const RegistryScratch&) = delete;
  RegistryScratch& operator=(const RegistryScratch&) = delete;
  ~RegistryScratch();

  void Key(HKEY root, REGSAM view, const std::wstring& path);
  void Value(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
             DWORD size);
  void String(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name, const std::wstring& text);
  void Dword(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name, DWORD value);
  // Removes the value for the test's duration.
  void Absent(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name);

 private:
  void SaveValue(HKEY root, REGSAM view, const std::wstring& path, const std::wstring& name);
  std::vector<std::function<void()>> m_undo;
};

// This process's own scratch names: "BrindleTest\Elig<pid>" below Software, lower-cased for
// rule paths.
std::wstring ScratchKey();
std::wstring ScratchRulePath();

// A copy of the sleeper test program running under the given file name until destroyed.
class RunningProgram {
 public:
  explicit RunningProgram(const std::wstring& fileName);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

 private:
  std::wstring m_path;
  ui::UniqueHandle m_process;
};

// A folder under the temporary folder, removed with its files when destroyed.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::wstring& Path() const { return m_path; }
  // Creates an empty file (and its folders) below the folder; returns its full path.
  std::wstring File(const std::wstring& relative) const;

 private:
  std::wstring m_path;
};
