#pragma once
// Decides which offers this machine may be shown: group rules that depend on the offers
// accepted before (limits, verticals, exclusivity, flow settings), then machine and registry
// checks in a fixed order. The first failing check rejects the offer and reports why.
// One evaluator per configuration, used from one thread; what it measures is kept for its
// lifetime.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "offers/EventSender.h"
#include "offers/KeyCache.h"
#include "offers/MachineFacts.h"
#include "offers/RuleTrace.h"
#include "offers/SubkeyCache.h"

class ConfigurationManager;
class Package;

// One registration under App Paths; its target is read on first need.
struct AppPathEntry {
  HKEY root = nullptr;
  REGSAM view = 0;  // KEY_WOW64_32KEY or KEY_WOW64_64KEY
  std::wstring target;
  bool resolved = false;
};

class OfferRules {
 public:
  using PackagePtr = std::shared_ptr<Package>;
  // Receives the "not shown" events of rejected offers.
  using EventSink = std::function<void(Package& package, int id, const EventFields& extra)>;

  // Judges against `config`'s offer limit and extra slots (which accepting may raise), its
  // version and folder tokens; the facts of this machine unless others are given.
  explicit OfferRules(ConfigurationManager& config,
                      std::shared_ptr<MachineFacts> facts = std::make_shared<SystemMachineFacts>());

  // True when the package is accepted; sets `stop` once no further offer can be accepted.
  // Nothing escapes: an offer whose rules cannot be evaluated is rejected.
  bool Evaluate(const PackagePtr& package, bool& stop, const std::vector<PackagePtr>& accepted);
  // Reports the reason while fewer than maxOffers offers are accepted.
  void Reject(const PackagePtr& package, const std::string& reason);
  void Accept(const PackagePtr& package);

  // Full key paths as produced by win32::ExpandRegistryPath.
  bool KeyExists(const std::wstring& path);
  // A REG_SZ, REG_DWORD or REG_QWORD value as text; below "software" the wow6432node key is
  // tried as well on 64-bit Windows.
  bool ReadValueAsText(const std::wstring& root, const std::wstring& subkey, const std::wstring& name,
                       std::wstring& text);

  void SetEventSink(EventSink sink) { m_eventSink = std::move(sink); }
  // Receives what each evaluation reads and decides; without one nothing is recorded.
  void SetTrace(RuleTrace trace) { m_trace = std::move(trace); }
  // Without the caches every key is opened, and its values read, each time it is asked about
  // (for comparison).
  void SetCachesEnabled(bool enabled) {
    m_cachesEnabled = enabled;
    m_keys.SetEnabled(enabled);
  }

 private:
  bool EvaluateInOrder(const PackagePtr& package, bool& stop, const std::vector<PackagePtr>& accepted);
  // Why the offer is rejected, in the reason text its "not shown" event carries; empty when the
  // check finds nothing against it.
  using Objection = std::string;
  Objection CheckFlow(const PackagePtr& package, const std::vector<PackagePtr>& accepted);

  // Machine checks.
  Objection CheckDiskSpace(const PackagePtr& package);
  Objection CheckMemory(const PackagePtr& package);
  Objection CheckProcessor(const PackagePtr& package);
  Objection CheckOsVersion(const PackagePtr& package);
  Objection CheckProgramVersion(const PackagePtr& package);
  Objection Check64BitOs(const PackagePtr& package);
  Objection CheckFiles(const PackagePtr& package);
  Objection CheckRunningApplication(const PackagePtr& package);
  Objection CheckChrome(const PackagePtr& package);
  Objection CheckIeVersion(const PackagePtr& package);

  Objection CheckRegistry(const PackagePtr& package);
  Objection CheckInstalledApps(const PackagePtr& package);
  Objection CheckUninstallTimestamp(const PackagePtr& package);
  Objection CheckNoShowPeriod(const PackagePtr& package);

  bool AnyFileExists(const std::vector<std::wstring>& paths);
  bool AnyKeyExists(const std::vector<std::wstring>& list);
  bool AnyValueExists(const std::vector<std::wstring>& list);
  bool AnyValueDataMatches(const std::vector<std::wstring>& list);
  bool IsAppInstalled(const std::wstring& name);
  void BuildAppPathsIndex();
  std::wstring ResolveAppPath(const AppPathEntry& entry, const std::wstring& name);

  bool Is64BitWindows();
  std::vector<std::wstring> ExpandLowerCased(const std::wstring& entry);
  // The key a full path names, in the view the path asks for.
  struct KeyLocation {
    HKEY root;
    REGSAM view;  // KEY_WOW64_32KEY or KEY_WOW64_64KEY
    std::wstring subkey;
    bool belowSoftware;  // a software root's listing may answer for it
  };
  // Nothing when the path names no key here.
  std::optional<KeyLocation> Locate(const std::wstring& path);
  bool LookUpKey(const std::wstring& path);
  // A value of the key a full path names, after a (traced) test that the key exists; nothing
  // when it does not.
  std::optional<win32::RegistryValue> ReadValue(const std::wstring& keyPath, const std::wstring& name);
  bool FileExists(const std::wstring& path);

  // The record is made only when a trace listens.
  template <typename MakeRecord>
  void Trace(MakeRecord&& make) {
    if (m_trace) m_trace(make());
  }
  RuleTraceRecord::View ViewOf(const std::wstring& path);

  std::unordered_set<int> m_verticals;
  std::vector<std::string> m_acceptedOfferIds;
  std::vector<std::string> m_acceptedEncodedIds;  // base 62, in the same order
  int m_acceptedCount = 0;
  ConfigurationManager& m_config;
  int m_maxOffers = 0;

  std::shared_ptr<MachineFacts> m_facts;
  EventSink m_eventSink;
  RuleTrace m_trace;
  std::optional<std::vector<std::wstring>> m_processNames;  // lower case
  std::uint64_t m_freeDiskMB = 0;
  bool m_freeDiskKnown = false;
  std::uint64_t m_ramMB = 0;
  bool m_ramKnown = false;
  DWORD m_cpuMHz = 0;
  bool m_cpuKnown = false;
  std::map<int, bool> m_osVersionMet;  // by version code
  std::optional<bool> m_is64BitWindows;
  std::multimap<std::wstring, AppPathEntry> m_appPaths;
  bool m_appPathsBuilt = false;
  SubkeyCache m_subkeyCache;
  KeyCache m_keys{*m_facts};
  bool m_cachesEnabled = true;
};
