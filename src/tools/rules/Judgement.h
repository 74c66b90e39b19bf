#pragma once
// One document judged on this machine through the wizard's own loader and evaluator, with
// what each verdict read, and the offer flow the wizard would run with the accepted offers.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "offers/RuleTrace.h"

class ConfigurationManager;

namespace rules {

// The wizard could not use the document: it would show its error page. The text is its reason.
class UnusableDocument : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OfferVerdict {
  enum class Outcome { kAccepted, kRejected, kNotJudged };

  std::size_t position = 0;  // 1-based, in document order
  std::string id;            // UTF-8, as the document (or the package) has them
  std::string name;
  Outcome outcome = Outcome::kNotJudged;
  // A rejection's reason, the same text as the wizard's "not shown" event carries; or why the
  // offer was not judged.
  std::string reason;
  bool eventSent = false;     // the wizard reports the rejection (event 2)
  bool byGroupRules = false;  // rejected by the rules between offers, before any machine check
  std::vector<RuleTraceRecord> facts;
};

// The offer pages of a user who accepts every offer.
struct OfferFlow {
  struct Skipped {
    std::size_t offer = 0;      // index into Judgement::offers
    std::size_t limitedBy = 0;  // the earlier offer whose maxOffersInFlow ends the flow
    int maxOffersInFlow = 0;
    bool eventSent = false;
  };
  struct DeclineEffect {
    std::size_t offer = 0;
    bool skipsLaterOffers = false;     // skipAllAfterDecline
    bool skippedAfterDecline = false;  // skipIfEarlierDeclined
  };
  std::vector<std::size_t> pages;  // indexes into Judgement::offers
  std::vector<Skipped> skipped;
  std::vector<DeclineEffect> declineEffects;
};

struct Judgement {
  bool isv = false;
  int maxOffers = 0;
  int extraOfferSlots = 0;
  std::string offersNotJudged;  // why a document's offers are not judged at all, when they are not
  std::vector<OfferVerdict> offers;
  OfferFlow flow;
};

// Raises UnusableDocument.
Judgement JudgeDocument(const nlohmann::json& document, ConfigurationManager& config);

// The flow's one reason for the offers it skips.
inline constexpr const char* kFlowLimitReason = "EXCEEDED MAX NUMBER OF OFFERS IN FLOW";

}  // namespace rules
