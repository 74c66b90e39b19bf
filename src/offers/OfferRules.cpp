#include "offers/OfferRules.h"

#include <algorithm>
#include <climits>

#include "config/ConfigurationManager.h"
#include "config/Hashing.h"
#include "config/TextUtil.h"
#include "offers/Package.h"
#include "win32/Strings.h"

using Kind = RuleTraceRecord::Kind;

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

OfferRules::OfferRules(ConfigurationManager& config, std::shared_ptr<MachineFacts> facts)
    : m_config(config),
      m_maxOffers(config.maxOffers),
      m_facts(std::move(facts)),
      m_eventSink([](Package& package, int id, const EventFields& extra) { package.SendEvent(id, extra); }) {}

bool OfferRules::Evaluate(const PackagePtr& package, bool& stop, const std::vector<PackagePtr>& accepted) {
  Trace([&] {
    return RuleTraceRecord{Kind::kOffer, win32::Widen(package->m_offerId, CP_UTF8),
                           win32::Widen(package->m_displayName, CP_UTF8)};
  });
  try {
    return EvaluateInOrder(package, stop, accepted);
  } catch (const std::exception& error) {
    Trace([&] { return RuleTraceRecord{Kind::kRuleError, win32::ExceptionText(error), {}}; });
    // A rule of one partner that cannot be evaluated costs that offer only.
    Reject(package, "RULE ERROR");
    return false;
  }
}

bool OfferRules::EvaluateInOrder(const PackagePtr& package, bool& stop, const std::vector<PackagePtr>& accepted) {
  const std::int64_t limit = static_cast<std::int64_t>(m_maxOffers) + m_config.extraOfferSlots;
  if (m_acceptedCount >= limit) {
    Trace([] { return RuleTraceRecord{Kind::kLimitReached, {}, {}}; });
    stop = true;
    return false;
  }
  if (const Objection objection = CheckFlow(package, accepted); !objection.empty()) {
    Reject(package, objection);
    return false;
  }
  const int vertical = package->m_vertical;
  if (m_verticals.contains(vertical)) {
    Reject(package, vertical == -1 ? "MULTIPLE OFFERS W/O VERTICAL" : "SAME VERTICAL OFFER ALREADY PRESENT");
    return false;
  }
  if (package->m_exclusive && m_acceptedCount != 0) {
    Reject(package, "EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT");
    return false;
  }
  Trace([] { return RuleTraceRecord{Kind::kMachineChecks, {}, {}}; });
  using Check = Objection (OfferRules::*)(const PackagePtr&);
  static constexpr Check kChecks[] = {&OfferRules::CheckRegistry,
                                      &OfferRules::CheckDiskSpace,
                                      &OfferRules::CheckMemory,
                                      &OfferRules::CheckProcessor,
                                      &OfferRules::CheckOsVersion,
                                      &OfferRules::CheckProgramVersion,
                                      &OfferRules::Check64BitOs,
                                      &OfferRules::CheckFiles,
                                      &OfferRules::CheckRunningApplication,
                                      &OfferRules::CheckInstalledApps,
                                      &OfferRules::CheckUninstallTimestamp,
                                      &OfferRules::CheckChrome,
                                      &OfferRules::CheckIeVersion,
                                      &OfferRules::CheckNoShowPeriod};
  for (const Check check : kChecks) {
    if (const Objection objection = (this->*check)(package); !objection.empty()) {
      Reject(package, objection);
      return false;
    }
  }
  Accept(package);
  return true;
}

OfferRules::Objection OfferRules::CheckFlow(const PackagePtr& package, const std::vector<PackagePtr>& accepted) {
  const FlowSettings& flow = package->m_flow;
  if (m_acceptedCount > flow.maxBefore) {
    return "SHOWED " + std::to_string(m_acceptedCount) + " PRODUCTS BUT ONLY " + std::to_string(flow.maxBefore) +
           " ALLOWED BEFORE";
  }
  if (!flow.allowedBefore.empty() && !m_acceptedOfferIds.empty()) {
    std::vector<std::string> notAllowed;
    for (std::size_t i = 0; i < m_acceptedOfferIds.size(); ++i) {
      if (!Contains(flow.allowedBefore, m_acceptedEncodedIds[i])) notAllowed.push_back(m_acceptedOfferIds[i]);
    }
    if (!notAllowed.empty()) {
      return "NOT ALLOWED AFTER " + config::JoinWithCommas(notAllowed);
    }
  }
  if (m_config.extraOfferSlots != 0) return {};

  const auto total = static_cast<std::int64_t>(accepted.size());
  for (const PackagePtr& earlier : accepted) {
    const std::int64_t after = std::max<std::int64_t>(0, total - earlier->m_index - 1);
    // -1 and other negative limits read as huge: no limit.
    const auto maxAfter = static_cast<std::uint32_t>(earlier->m_flow.maxAfter);
    if (maxAfter <= static_cast<std::uint64_t>(after)) {
      return "ONLY " + std::to_string(earlier->m_flow.maxAfter) + " PRODUCTS ALLOWED TO BE SHOWN AFTER " +
             earlier->m_offerId;
    }
  }
  const std::string encodedId = config::Base62Encode(package->m_offerId);
  std::vector<std::string> refusing;
  for (const PackagePtr& earlier : accepted) {
    const auto& allowed = earlier->m_flow.allowedAfter;
    if (!allowed.empty() && !Contains(allowed, encodedId)) refusing.push_back(earlier->m_offerId);
  }
  if (!refusing.empty()) {
    return "NOT ALLOWED AFTER " + config::JoinWithCommas(refusing);
  }
  return {};
}

void OfferRules::Reject(const PackagePtr& package, const std::string& reason) {
  Trace([&] { return RuleTraceRecord{Kind::kRejected, win32::Widen(reason, CP_UTF8), {}}; });
  if (m_acceptedCount < m_maxOffers) m_eventSink(*package, EVENT_NOT_SHOWN, {{"13", reason}});
}

void OfferRules::Accept(const PackagePtr& package) {
  Trace([] { return RuleTraceRecord{Kind::kAccepted, {}, {}}; });
  // Encoded once here, not once per later candidate: encoding takes time quadratic in the id's length.
  m_acceptedEncodedIds.push_back(config::Base62Encode(package->m_offerId));
  ++m_acceptedCount;
  m_verticals.insert(package->m_vertical);
  m_acceptedOfferIds.push_back(package->m_offerId);
  if (package->m_flow.skipIfEarlierDeclined && m_acceptedCount > 1) {
    int& slots = m_config.extraOfferSlots;
    if (slots < INT_MAX) ++slots;
  }
}

bool OfferRules::Is64BitWindows() {
  if (!m_is64BitWindows) m_is64BitWindows = m_facts->Is64BitWindows();
  return m_is64BitWindows.value_or(false);
}
