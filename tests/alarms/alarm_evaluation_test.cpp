// One rule on one unit, driven answer by answer on a given clock.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "alarm_test_support.h"
#include "alarms/unit_alarms.h"

namespace {

using alarms_test::At;
using alarms_test::Describe;
using kelvo_profile::ProfileValue;
using kelvo_profile::ValueKind;

// At `t` seconds: `input` is the rule key's number (or cell_voltages'
// numbers), "" (an answer without the key), "ack" (the rule's name) or
// "ack *".
// `events` and `list` as alarms_test::Describe words them.
struct Step {
  double t;
  const char* input;
  const char* events;
  const char* list;
};

struct Script {
  const char* what;
  const char* rule;
  std::vector<Step> steps;
};

std::vector<kelvo_alarms::AlarmEvent> Apply(kelvo_alarms::UnitAlarms& unit,
                                            const kelvo_alarms::AlarmRule& rule, const Step& step) {
  const std::string input = step.input;
  if (input.rfind("ack", 0) == 0) {
    const auto result = unit.Acknowledge(input == "ack *" ? "*" : rule.name, At(step.t));
    EXPECT_TRUE(result.known);
    return result.events;
  }
  std::vector<double> numbers;
  std::istringstream in(input);
  for (double x = 0; in >> x;) numbers.push_back(x);
  std::vector<ProfileValue> values;
  values.push_back({"soc", ValueKind::Number, 55, {}, {}, 0});  // a key no rule here watches
  if (rule.value == "cell_voltages") {
    values.push_back({rule.value, ValueKind::Numbers, 0, numbers, {}, 3});
  } else if (!numbers.empty()) {
    values.push_back({rule.value, ValueKind::Number, numbers[0], {}, {}, 3});
  }
  return unit.Evaluate(values, At(step.t));
}

TEST(AlarmEvaluationTest, ScriptsOnAGivenClock) {
  const Script scripts[] = {
      {"above: strictly past it raises, back at it clears",
       "above = 3.60",
       {{0, "3.60", "", ""},
        {1, "3.61", "raised cell_high 3.61", "cell_high 3.61 @1"},
        {2, "3.65", "", "cell_high 3.61 @1"},
        {3, "3.60", "cleared cell_high 3.6", ""}}},
      {"below",
       "below = 3.0",
       {{0, "3.0", "", ""},
        {1, "2.9", "raised cell_high 2.9", "cell_high 2.9 @1"},
        {2, "3.0", "cleared cell_high 3", ""}}},
      {"hysteresis: the band between holds the state either way",
       "above = 3.60\nclear = 3.55",
       {{0, "3.58", "", ""},
        {1, "3.61", "raised cell_high 3.61", "cell_high 3.61 @1"},
        {2, "3.58", "", "cell_high 3.61 @1"},
        {3, "3.55", "cleared cell_high 3.55", ""},
        {4, "3.58", "", ""},
        {5, "3.61", "raised cell_high 3.61", "cell_high 3.61 @5"}}},
      {"raise delay: held for_s, restarted by a value back in the band",
       "above = 3.60\nclear = 3.50\nfor_s = 5",
       {{0, "3.61", "", ""},
        {4, "3.55", "", ""},
        {5, "3.61", "", ""},
        {9, "3.62", "", ""},
        {10, "3.63", "raised cell_high 3.63", "cell_high 3.63 @10"}}},
      {"clear delay: back past clear for clear_for_s, restarted by the band",
       "above = 3.60\nclear = 3.50\nclear_for_s = 10",
       {{0, "3.61", "raised cell_high 3.61", "cell_high 3.61 @0"},
        {1, "3.50", "", "cell_high 3.61 @0"},
        {5, "3.55", "", "cell_high 3.61 @0"},
        {6, "3.40", "", "cell_high 3.61 @0"},
        {15, "3.40", "", "cell_high 3.61 @0"},
        {16, "3.45", "cleared cell_high 3.45", ""}}},
      {"flapping across the threshold raises once",
       "above = 3.60\nclear_for_s = 5",
       {{0, "3.61", "raised cell_high 3.61", "cell_high 3.61 @0"},
        {2, "3.50", "", "cell_high 3.61 @0"},
        {4, "3.61", "", "cell_high 3.61 @0"},
        {6, "3.50", "", "cell_high 3.61 @0"},
        {8, "3.62", "", "cell_high 3.61 @0"},
        {10, "3.50", "", "cell_high 3.61 @0"},
        {12, "3.50", "", "cell_high 3.61 @0"},
        {15, "3.50", "cleared cell_high 3.5", ""}}},
      {"a missing value leaves the state and the running delay as they are",
       "above = 3.60\nfor_s = 5",
       {{0, "3.61", "", ""},
        {3, "", "", ""},
        {5, "3.61", "raised cell_high 3.61", "cell_high 3.61 @5"},
        {6, "", "", "cell_high 3.61 @5"}}},
      {"a clock stepped back restarts the delay",
       "above = 3.60\nfor_s = 5",
       {{10, "3.61", "", ""},
        {2, "3.61", "", ""},
        {6, "3.61", "", ""},
        {7, "3.61", "raised cell_high 3.61", "cell_high 3.61 @7"}}},
      {"latch: held after it clears until acknowledged",
       "above = 3.60\nlatch = true",
       {{0, "3.61", "raised cell_high 3.61", "cell_high 3.61 @0"},
        {1, "3.50", "cleared cell_high 3.5", "cell_high 3.61 @0 latched"},
        {2, "3.55", "", "cell_high 3.61 @0 latched"},
        {3, "ack", "acknowledged cell_high 3.61", ""},
        {4, "ack", "", ""}}},
      {"latch: the condition back before the acknowledgement raises afresh",
       "above = 3.60\nlatch = true",
       {{0, "3.61", "raised cell_high 3.61", "cell_high 3.61 @0"},
        {1, "3.50", "cleared cell_high 3.5", "cell_high 3.61 @0 latched"},
        {2, "3.62", "raised cell_high 3.62", "cell_high 3.62 @2"}}},
      {"acknowledged while it holds: marked, then gone when it clears, latch or not",
       "above = 3.60\nlatch = true",
       {{0, "3.61", "raised cell_high 3.61", "cell_high 3.61 @0"},
        {1, "ack *", "acknowledged cell_high 3.61", "cell_high 3.61 @0 acked"},
        {2, "ack", "", "cell_high 3.61 @0 acked"},
        {3, "3.50", "cleared cell_high 3.5", ""},
        {4, "3.61", "raised cell_high 3.61", "cell_high 3.61 @4"}}},
      {"nonzero: any bit set",
       "nonzero = true",
       {{0, "0", "", ""},
        {1, "4", "raised cell_high 4", "cell_high 4 @1"},
        {2, "1", "", "cell_high 4 @1"},
        {3, "0", "cleared cell_high 0", ""}}},
      {"an array alarms per element; an element missing keeps its state",
       "value = \"cell_voltages\"\nabove = 3.60\nclear = 3.55",
       {{0, "3.50 3.61 3.70", "raised cell_high 3.61 #2; raised cell_high 3.7 #3",
         "cell_high 3.61 #2 @0; cell_high 3.7 #3 @0"},
        {1, "3.61 3.50 3.58", "raised cell_high 3.61 #1; cleared cell_high 3.5 #2",
         "cell_high 3.61 #1 @1; cell_high 3.7 #3 @0"},
        {2, "3.50", "cleared cell_high 3.5 #1", "cell_high 3.7 #3 @0"},
        {3, "ack", "acknowledged cell_high 3.7 #3", "cell_high 3.7 #3 @0 acked"}}},
  };
  for (const Script& script : scripts) {
    std::string text = "[[alarm]]\nname = \"cell_high\"\n";
    if (std::string(script.rule).find("value =") == std::string::npos) text += "value = \"cell_max\"\n";
    text += std::string(script.rule) + "\n";
    const auto rules = alarms_test::Rules(text);
    ASSERT_EQ(rules->size(), 1u) << script.what;
    kelvo_alarms::UnitAlarms unit("bus1", 7, rules);
    for (const Step& step : script.steps) {
      const auto events = Apply(unit, rules->front(), step);
      EXPECT_EQ(Describe(events), step.events) << script.what << ", at " << step.t << " s";
      EXPECT_EQ(Describe(unit.Active()), step.list) << script.what << ", at " << step.t << " s";
    }
  }
}

}  // namespace
