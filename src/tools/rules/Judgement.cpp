#include "tools/rules/Judgement.h"

#include <windows.h>

#include <optional>

#include "config/ConfigurationManager.h"
#include "offers/ConfigurationLoader.h"
#include "offers/Package.h"
#include "win32/Strings.h"

using nlohmann::json;

namespace rules {
namespace {

using Kind = RuleTraceRecord::Kind;
using Outcome = OfferVerdict::Outcome;

// A text of an offer object ("ad"."o", "ps"."dn"), or nothing when it has none.
std::string OfferText(const json& offer, const char* block, const char* key) {
  if (!offer.is_object()) return {};
  const auto found = offer.find(block);
  if (found == offer.end() || !found->is_object()) return {};
  const auto text = found->find(key);
  return text != found->end() && text->is_string() ? text->get<std::string>() : std::string();
}

// Turns the evaluator's records into one verdict per evaluated offer, in evaluation order,
// which is document order.
class VerdictRecorder {
 public:
  void Record(const RuleTraceRecord& record) {
    if (record.kind == Kind::kOffer) {
      OfferVerdict& verdict = m_verdicts.emplace_back();
      verdict.id = win32::WideToUtf8(record.subject);
      verdict.name = win32::WideToUtf8(record.answer);
      m_decided = false;
      m_machineChecks = false;
      return;
    }
    if (m_verdicts.empty()) return;
    OfferVerdict& verdict = m_verdicts.back();
    switch (record.kind) {
      case Kind::kMachineChecks:
        m_machineChecks = true;
        break;
      case Kind::kAccepted:
      case Kind::kRejected:
      case Kind::kLimitReached:
        // The first verdict stands; a rule error after a rejection adds nothing.
        if (m_decided) break;
        m_decided = true;
        verdict.outcome = record.kind == Kind::kAccepted   ? Outcome::kAccepted
                          : record.kind == Kind::kRejected ? Outcome::kRejected
                                                           : Outcome::kNotJudged;
        verdict.reason = win32::WideToUtf8(record.subject);
        verdict.byGroupRules = record.kind == Kind::kRejected && !m_machineChecks;
        break;
      default:
        verdict.facts.push_back(record);
        break;
    }
  }

  // The wizard would send the rejection of the offer being judged.
  void EventSent() {
    if (!m_verdicts.empty()) m_verdicts.back().eventSent = true;
  }

  std::vector<OfferVerdict>& Verdicts() { return m_verdicts; }

 private:
  std::vector<OfferVerdict> m_verdicts;
  bool m_decided = false;
  bool m_machineChecks = false;
};

// Why the offers after the last one judged were not judged.
std::string WhyNotJudged(const std::vector<OfferVerdict>& judged, const LoadedOffers& loaded,
                         const ConfigurationManager& config) {
  const OfferVerdict& last = judged.back();
  if (last.outcome == Outcome::kNotJudged) {
    std::string text = std::to_string(loaded.packages.size()) + " offers accepted: the limit, maxOffers " +
                       std::to_string(config.maxOffers);
    if (config.extraOfferSlots != 0) text += " with " + std::to_string(config.extraOfferSlots) + " extra slots";
    return text + ", is reached";
  }
  if (last.outcome == Outcome::kAccepted && loaded.packages.back()->m_exclusive) {
    return "offer " + last.id + " is exclusive: no offer is judged after it";
  }
  return "the wizard judges only the first " + std::to_string(judged.size()) + " offers";
}

// CountSkippedOfferPages of the main dialog when no offer is declined: an offer page is
// skipped once its place in the flow reaches the maxOffersInFlow of an offer before it, and
// every later one with it.
OfferFlow RunFlow(const std::vector<std::size_t>& acceptedOffers, const LoadedOffers& loaded, int maxOffers) {
  OfferFlow flow;
  std::optional<std::size_t> limitedBy;
  for (std::size_t k = 0; k < acceptedOffers.size(); ++k) {
    const int index = static_cast<int>(k);
    for (std::size_t i = 0; i < k && !limitedBy; ++i) {
      if (index >= loaded.packages[i]->m_flow.maxOffersInFlow) limitedBy = i;
    }
    const FlowSettings& settings = loaded.packages[k]->m_flow;
    if (limitedBy) {
      flow.skipped.push_back({acceptedOffers[k], acceptedOffers[*limitedBy],
                              loaded.packages[*limitedBy]->m_flow.maxOffersInFlow, index < maxOffers});
      continue;
    }
    flow.pages.push_back(acceptedOffers[k]);
    const bool skippedAfterDecline = k > 0 && settings.skipIfEarlierDeclined;  // the first offer never is
    if (settings.skipAllAfterDecline || skippedAfterDecline) {
      flow.declineEffects.push_back({acceptedOffers[k], settings.skipAllAfterDecline, skippedAfterDecline});
    }
  }
  return flow;
}

}  // namespace

Judgement JudgeDocument(const json& document, ConfigurationManager& config) {
  VerdictRecorder recorder;
  EvaluatorSetup setup;
  // Nothing is sent: a rejection the wizard would report is only noted.
  setup.eventSink = [&recorder](Package&, int id, const json&) {
    if (id == EVENT_NOT_SHOWN) recorder.EventSent();
  };
  setup.trace = [&recorder](const RuleTraceRecord& record) { recorder.Record(record); };
  LoadedOffers loaded;
  try {
    loaded = ApplyConfigurationDocument(document, config, setup);
  } catch (const std::exception& error) {
    throw UnusableDocument(error.what());
  }
  if (loaded.productUnusable) throw UnusableDocument("no product title or no product URL (\"i\".\"ct\", \"i\".\"cu\")");

  Judgement judgement;
  judgement.isv = config.wizardType == ConfigurationManager::kWizardTypeIsv;
  judgement.maxOffers = config.maxOffers;
  judgement.extraOfferSlots = config.extraOfferSlots;
  const bool listed = document.is_object() && document.contains("o");
  if (!listed) {
    judgement.offersNotJudged = "the document lists no offers (no \"o\")";
  } else if (config.channel == L"00xA") {
    judgement.offersNotJudged = "the product's channel \"00xA\" shows no offers";
  }

  std::vector<OfferVerdict>& judged = recorder.Verdicts();
  const std::string notJudged = !judgement.offersNotJudged.empty() ? judgement.offersNotJudged
                                : judged.empty()                   ? std::string()
                                                                   : WhyNotJudged(judged, loaded, config);
  static const json kNoOffers = json::array();
  const json& offers = listed ? document.at("o") : kNoOffers;
  std::vector<std::size_t> acceptedOffers;
  for (std::size_t i = 0; offers.is_array() && i < offers.size(); ++i) {
    OfferVerdict verdict;
    if (i < judged.size()) {
      verdict = std::move(judged[i]);
    } else {
      verdict.id = OfferText(offers[i], "ad", "o");
      verdict.name = OfferText(offers[i], "ps", "dn");
    }
    if (verdict.outcome == Outcome::kNotJudged) verdict.reason = notJudged;
    verdict.position = i + 1;
    if (verdict.outcome == Outcome::kAccepted) acceptedOffers.push_back(judgement.offers.size());
    judgement.offers.push_back(std::move(verdict));
  }
  judgement.flow = RunFlow(acceptedOffers, loaded, config.maxOffers);
  return judgement;
}

}  // namespace rules
