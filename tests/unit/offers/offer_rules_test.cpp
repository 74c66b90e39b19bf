// The evaluator's group rules: limits, verticals, exclusivity and flow settings.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>

#include "EligibilityTestSupport.h"
#include "config/ConfigurationManager.h"
#include "config/Hashing.h"

using nlohmann::json;

namespace {

// Sets extraOfferSlots for one test and puts the old value back.
class ExtraSlots {
 public:
  explicit ExtraSlots(int slots) : m_saved(Slots()) { Slots() = slots; }
  ~ExtraSlots() { Slots() = m_saved; }
  static int& Slots() { return ConfigurationManager::GetInstance()->extraOfferSlots; }

 private:
  int m_saved;
};

json Flow(int vertical, const json& cfs) { return {{"v", vertical}, {"pn", true}, {"cfs", cfs}}; }

struct Step {
  json ps;
  const char* id;
  const char* verdict;
};

TEST(OfferRules, GroupRules) {
  ASSERT_EQ(config::Base62Encode("a"), "1z");  // the allowed lists below hold encoded ids
  const struct {
    const char* name;
    int maxOffers;
    int slots;
    std::vector<Step> steps;
  } cases[] = {
      {"no eligibility keys", 5, 0, {{json::object(), "a", "accepted"}}},
      {"limit stops without an event",
       2,
       0,
       {{{{"v", 1}}, "a", "accepted"}, {{{"v", 2}}, "b", "accepted"}, {{{"v", 3}}, "c", "stop"}}},
      {"limit 0", 0, 0, {{json::object(), "a", "stop"}}},
      {"limit -1", -1, 0, {{json::object(), "a", "stop"}}},
      {"limit 0 with a slot", 0, 1, {{{{"v", 1}}, "a", "accepted"}, {{{"v", 2}}, "b", "stop"}}},
      {"limit INT_MAX with a slot", INT_MAX, 1, {{json::object(), "a", "accepted"}}},
      {"same vertical",
       5,
       0,
       {{json::object(), "a", "accepted"}, {json::object(), "b", "SAME VERTICAL OFFER ALREADY PRESENT"}}},
      {"no vertical twice", 5, 0, {{{{"v", -1}}, "a", "accepted"}, {{{"v", -1}}, "b", "MULTIPLE OFFERS W/O VERTICAL"}}},
      {"exclusive first", 5, 0, {{{{"exc", true}}, "a", "accepted"}}},
      {"exclusive later",
       5,
       0,
       {{{{"v", 1}}, "a", "accepted"},
        {{{"v", 2}, {"exc", true}}, "b", "EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT"}}},
      {"max before",
       5,
       0,
       {{{{"v", 1}}, "a", "accepted"},
        {{{"v", 2}}, "b", "accepted"},
        {{{"v", 3}}, "c", "accepted"},
        {Flow(4, {{"mb", 2}}), "d", "SHOWED 3 PRODUCTS BUT ONLY 2 ALLOWED BEFORE"},
        {Flow(5, {{"mb", 3}}), "e", "accepted"}}},  // exactly as many as allowed
      {"max before -1",
       5,
       0,
       {{{{"v", 1}}, "a", "accepted"}, {Flow(2, {{"mb", -1}}), "b", "SHOWED 1 PRODUCTS BUT ONLY -1 ALLOWED BEFORE"}}},
      {"allowed before with an empty entry",
       5,
       0,
       {{{{"v", 1}}, "a", "accepted"},
        {{{"v", 2}}, "b", "accepted"},
        {Flow(3, {{"ab", {"1z", ""}}}), "c", "NOT ALLOWED AFTER b"}}},
      {"allowed before", 5, 0, {{{{"v", 1}}, "a", "accepted"}, {Flow(2, {{"ab", {"1z"}}}), "b", "accepted"}}},
      {"max after",
       5,
       0,
       {{Flow(1, {{"ma", 1}}), "a", "accepted"},
        {{{"v", 2}}, "b", "accepted"},
        {{{"v", 3}}, "c", "ONLY 1 PRODUCTS ALLOWED TO BE SHOWN AFTER a"}}},
      {"max after with a slot",
       5,
       1,
       {{Flow(1, {{"ma", 1}}), "a", "accepted"}, {{{"v", 2}}, "b", "accepted"}, {{{"v", 3}}, "c", "accepted"}}},
      {"max after -1",
       5,
       0,
       {{Flow(1, {{"ma", -1}}), "a", "accepted"}, {{{"v", 2}}, "b", "accepted"}, {{{"v", 3}}, "c", "accepted"}}},
      {"allowed after",
       5,
       0,
       {{Flow(1, {{"aa", {"1C"}}}), "a", "accepted"},  // "1C" is d
        {{{"v", 2}}, "c", "NOT ALLOWED AFTER a"},
        {{{"v", 3}}, "d", "accepted"}}},
      {"rejection beyond maxOffers sends no event",
       1,
       1,
       {{json::object(), "a", "accepted"}, {json::object(), "b", "no event"}}},
      {"a rule that cannot be evaluated", 5, 0, {{{{"pv", "\xff"}}, "a", "RULE ERROR"}}},
  };
  for (const auto& c : cases) {
    ExtraSlots slots(c.slots);
    RulesUnderTest t(c.maxOffers);
    for (const Step& step : c.steps) EXPECT_EQ(t.Verdict(step.ps, step.id), step.verdict) << c.name << ": " << step.id;
  }
}

TEST(OfferRules, AcceptingAfterAnEarlierOfferGivesAnExtraSlot) {
  ExtraSlots slots(0);
  RulesUnderTest t(1);
  EXPECT_EQ(t.Verdict(Flow(1, {{"sied", true}}), "a"), "accepted");
  EXPECT_EQ(ExtraSlots::Slots(), 0);  // the first offer follows nothing
  ExtraSlots::Slots() = 1;
  EXPECT_EQ(t.Verdict(Flow(2, {{"sied", true}}), "b"), "accepted");
  EXPECT_EQ(ExtraSlots::Slots(), 2);
}

}  // namespace
