#include "tools/rules/Report.h"

#include <windows.h>

#include "win32/Strings.h"

using nlohmann::json;

namespace rules {
namespace {

using Kind = RuleTraceRecord::Kind;
using Outcome = OfferVerdict::Outcome;

constexpr const char* kFlowNote =
    "the offer pages of a user who accepts every offer; a declined offer can skip more of them";

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kRegistryKey:
      return "key";
    case Kind::kRegistryValue:
      return "value";
    case Kind::kFile:
      return "file";
    case Kind::kProcess:
      return "process";
    case Kind::kDiskSpace:
      return "diskSpace";
    case Kind::kMemory:
      return "memory";
    case Kind::kProcessor:
      return "processor";
    case Kind::kWindowsVersion:
      return "windowsVersion";
    case Kind::kProgramVersion:
      return "wizardVersion";
    case Kind::kWindows64:
      return "windows64";
    case Kind::kInstalledApp:
      return "application";
    case Kind::kUninstall:
      return "uninstall";
    case Kind::kNoShow:
      return "noShow";
    case Kind::kRuleError:
      return "ruleError";
    default:
      return "other";
  }
}

const char* ViewName(RuleTraceRecord::View view) {
  switch (view) {
    case RuleTraceRecord::View::k32Bit:
      return "32-bit";
    case RuleTraceRecord::View::k64Bit:
      return "64-bit";
    default:
      return nullptr;
  }
}

std::string FactLine(const RuleTraceRecord& fact) {
  const std::string subject = win32::WideToUtf8(fact.subject);
  const std::string answer = win32::WideToUtf8(fact.answer);
  const char* view = ViewName(fact.view);
  const std::string inView = view != nullptr ? std::string(" (") + view + " view)" : std::string();
  switch (fact.kind) {
    case Kind::kRegistryKey:
      return "key " + subject + inView + ": " + answer;
    case Kind::kRegistryValue:
      return "value " + subject + inView + ": " + answer;
    case Kind::kFile:
      return "file " + subject + ": " + answer;
    case Kind::kProcess:
      return subject.empty() ? "running processes: " + answer : "process " + subject + ": " + answer;
    case Kind::kDiskSpace:
      return "free disk space: " + answer + ", needs " + subject;
    case Kind::kMemory:
      return "memory: " + answer + ", needs " + subject;
    case Kind::kProcessor:
      return "processor clock: " + answer + ", needs " + subject;
    case Kind::kWindowsVersion:
      return "Windows " + subject + ": " + answer;
    case Kind::kProgramVersion:
      return "wizard version: " + answer + ", needs " + subject;
    case Kind::kWindows64:
      return "64-bit Windows: " + answer;
    case Kind::kInstalledApp:
      return "application " + subject + ": " + answer;
    case Kind::kUninstall:
      return "uninstalled " + subject + ": " + answer;
    case Kind::kNoShow:
      return "no-show marker until " + subject + ": today is " + answer;
    case Kind::kRuleError:
      return "rule error: " + subject;
    default:
      return subject + ": " + answer;
  }
}

std::string Named(const OfferVerdict& offer) {
  return std::to_string(offer.position) + ". " + offer.id + " \"" + offer.name + "\"";
}

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kAccepted:
      return "accepted";
    case Outcome::kRejected:
      return "rejected";
    default:
      return "not judged";
  }
}

std::string VerdictLine(const OfferVerdict& offer) {
  std::string line = Named(offer) + ": " + OutcomeName(offer.outcome);
  if (offer.outcome == Outcome::kAccepted) return line;
  line += ": " + offer.reason;
  if (offer.outcome == Outcome::kRejected && !offer.eventSent) line += " (not reported: maxOffers offers are accepted)";
  return line;
}

}  // namespace

std::string TextReport(const ReportHead& head, const Judgement& judgement) {
  std::string text = "Offers of " + head.source + ", judged for the " + (judgement.isv ? "ISV" : "DLM") +
                     " wizard on this machine\r\n";
  text += "Machine: Windows " + head.windowsVersion + (head.windows64 ? ", 64-bit" : ", 32-bit") +
          (head.elevated ? ", elevated" : ", not elevated (the wizard runs elevated)") + "; wizard version " +
          head.wizardVersion + "\r\n";
  text += "maxOffers " + std::to_string(judgement.maxOffers);
  if (judgement.extraOfferSlots != 0) text += ", extra offer slots " + std::to_string(judgement.extraOfferSlots);
  text += "\r\n";
  if (!judgement.offersNotJudged.empty()) text += "No offer is judged: " + judgement.offersNotJudged + "\r\n";

  text += "\r\n";
  for (const OfferVerdict& offer : judgement.offers) {
    text += VerdictLine(offer) + "\r\n";
    for (const RuleTraceRecord& fact : offer.facts) text += "     " + FactLine(fact) + "\r\n";
  }

  const OfferFlow& flow = judgement.flow;
  text += "\r\nFlow (" + std::string(kFlowNote) + "):\r\n";
  if (flow.pages.empty()) text += "  no offer page\r\n";
  for (std::size_t page = 0; page < flow.pages.size(); ++page) {
    text += "  page " + std::to_string(page + 1) + ": " + Named(judgement.offers[flow.pages[page]]) + "\r\n";
  }
  for (const OfferFlow::Skipped& skipped : flow.skipped) {
    text += "  skipped: " + Named(judgement.offers[skipped.offer]) + ": " + kFlowLimitReason + " (maxOffersInFlow " +
            std::to_string(skipped.maxOffersInFlow) + " of " + judgement.offers[skipped.limitedBy].id + ")" +
            (skipped.eventSent ? "" : ", not reported") + "\r\n";
  }
  for (const OfferVerdict& offer : judgement.offers) {
    if (offer.byGroupRules) text += "  left out while judging: " + Named(offer) + ": " + offer.reason + "\r\n";
  }
  for (const OfferVerdict& offer : judgement.offers) {
    if (offer.outcome != Outcome::kNotJudged) continue;
    text += "  judging stopped at " + Named(offer) + ": " + offer.reason + "\r\n";
    break;
  }
  for (const OfferFlow::DeclineEffect& effect : flow.declineEffects) {
    const OfferVerdict& offer = judgement.offers[effect.offer];
    if (effect.skipsLaterOffers) {
      text += "  declining " + Named(offer) + " skips every later offer (skipAllAfterDecline)\r\n";
    }
    if (effect.skippedAfterDecline) {
      text += "  " + Named(offer) + " is skipped when an offer before it is declined (skipIfEarlierDeclined)\r\n";
    }
  }
  return text;
}

json JsonReport(const ReportHead& head, const Judgement& judgement) {
  json report = {{"source", head.source},
                 {"wizard", judgement.isv ? "ISV" : "DLM"},
                 {"machine",
                  {{"windows", head.windowsVersion},
                   {"windows64", head.windows64},
                   {"elevated", head.elevated},
                   {"wizardVersion", head.wizardVersion}}},
                 {"maxOffers", judgement.maxOffers},
                 {"extraOfferSlots", judgement.extraOfferSlots},
                 {"offers", json::array()}};
  if (!judgement.offersNotJudged.empty()) report["offersNotJudged"] = judgement.offersNotJudged;
  for (const OfferVerdict& offer : judgement.offers) {
    json item = {{"position", offer.position},
                 {"id", offer.id},
                 {"name", offer.name},
                 {"verdict", OutcomeName(offer.outcome)},
                 {"facts", json::array()}};
    if (offer.outcome != Outcome::kAccepted) item["reason"] = offer.reason;
    if (offer.outcome == Outcome::kRejected) {
      item["reported"] = offer.eventSent;
      item["rule"] = offer.byGroupRules ? "between offers" : "machine";
    }
    for (const RuleTraceRecord& fact : offer.facts) {
      json entry = {{"kind", KindName(fact.kind)}, {"answer", win32::WideToUtf8(fact.answer)}};
      if (!fact.subject.empty()) entry["subject"] = win32::WideToUtf8(fact.subject);
      if (const char* view = ViewName(fact.view)) entry["view"] = view;
      item["facts"].push_back(std::move(entry));
    }
    report["offers"].push_back(std::move(item));
  }

  const OfferFlow& flow = judgement.flow;
  json pages = json::array();
  for (const std::size_t page : flow.pages) pages.push_back(judgement.offers[page].position);
  json skipped = json::array();
  for (const OfferFlow::Skipped& skip : flow.skipped) {
    skipped.push_back({{"position", judgement.offers[skip.offer].position},
                       {"reason", kFlowLimitReason},
                       {"reported", skip.eventSent},
                       {"limitedBy", judgement.offers[skip.limitedBy].position},
                       {"maxOffersInFlow", skip.maxOffersInFlow}});
  }
  json declines = json::array();
  for (const OfferFlow::DeclineEffect& effect : flow.declineEffects) {
    declines.push_back({{"position", judgement.offers[effect.offer].position},
                        {"skipAllAfterDecline", effect.skipsLaterOffers},
                        {"skipIfEarlierDeclined", effect.skippedAfterDecline}});
  }
  report["flow"] = {{"note", kFlowNote}, {"pages", pages}, {"skipped", skipped}, {"declineEffects", declines}};
  return report;
}

}  // namespace rules
