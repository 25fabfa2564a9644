#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "alarm_test_support.h"
#include "alarms/alarm_rule_reader.h"

namespace {

using kelvo_alarms::AlarmRulesLoad;
using kelvo_alarms::ParseAlarmRules;

struct FaultRow {
  const char* what;
  std::string text;  // after an [[alarm]] header on line 1
  int line;
  std::string says;  // must appear in the message
};

TEST(AlarmRuleFaultTest, RefusedWithFileLineAndKey) {
  const std::string rule = "name = \"cell_high\"\nvalue = \"cell_max\"\n";  // lines 2 and 3
  const FaultRow rows[] = {
      {"unknown key", rule + "above = 3.6\nabov = 3.7\n", 5, "unknown key \"abov\" in [[alarm]] number 1"},
      {"name missing", "value = \"cell_max\"\nabove = 3.6\n", 1,
       "[[alarm]] number 1 has no key \"name\", which is required"},
      {"name not a string", "name = 3\nvalue = \"cell_max\"\nabove = 3.6\n", 2, "key \"name\""},
      {"name in capitals", "name = \"Cell\"\nvalue = \"cell_max\"\nabove = 3.6\n", 2,
       "key \"name\" in [[alarm]] number 1: must be lower-case"},
      {"offline is built in", "name = \"offline\"\nvalue = \"cell_max\"\nabove = 3.6\n", 2, "built-in"},
      {"bus_down is built in", "name = \"bus_down\"\nvalue = \"cell_max\"\nabove = 3.6\n", 2, "built-in"},
      {"name twice", rule + "above = 3.6\n[[alarm]]\n" + rule + "below = 3\n", 6,
       "key \"name\" in [[alarm]] number 2: \"cell_high\" names the alarm of line 1 already"},
      {"value missing", "name = \"a\"\nabove = 3.6\n", 1, "has no key \"value\""},
      {"value no key of the profile", "name = \"a\"\nvalue = \"cell_maxx\"\nabove = 3.6\n", 3,
       "key \"value\" in [[alarm]] number 1: \"cell_maxx\" is no key of the profile"},
      {"value the names of bits", "name = \"a\"\nvalue = \"mos_state_flags\"\nnonzero = true\n", 3,
       "watch \"mos_state\" with nonzero = true"},
      {"value a key the caller did not give", "name = \"a\"\nvalue = \"energy_charged\"\nabove = 1\n", 3,
       "key \"value\""},
      {"no comparison", rule + "clear = 3\n", 1, "has none of \"above\", \"below\" and \"nonzero\""},
      {"above and below", rule + "above = 3.6\nbelow = 3.0\n", 5, "key \"below\""},
      {"nonzero false", rule + "nonzero = false\n", 4, "key \"nonzero\" in [[alarm]] number 1: must be true"},
      {"above a string", rule + "above = \"3.6\"\n", 4,
       "key \"above\" in [[alarm]] number 1: must be a number"},
      {"below not finite", rule + "below = nan\n", 4,
       "key \"below\" in [[alarm]] number 1: must be a finite"},
      {"clear above an above threshold", rule + "above = 3.6\nclear = 3.65\n", 5,
       "key \"clear\" in [[alarm]] number 1: 3.65 is above the threshold 3.6"},
      {"clear below a below threshold", rule + "below = 3.0\nclear = 2.9\n", 5,
       "2.9 is below the threshold 3"},
      {"clear of a nonzero rule", rule + "nonzero = true\nclear = 1\n", 5, "key \"clear\""},
      {"for_s negative", rule + "above = 3.6\nfor_s = -1\n", 5,
       "key \"for_s\" in [[alarm]] number 1: must not be"},
      {"clear_for_s past a year", rule + "above = 3.6\nclear_for_s = 4e7\n", 5, "key \"clear_for_s\""},
      {"severity unknown", rule + "above = 3.6\nseverity = \"major\"\n", 5,
       "key \"severity\" in [[alarm]] number 1: \"major\" is neither"},
      {"latch not a boolean", rule + "above = 3.6\nlatch = \"yes\"\n", 5, "key \"latch\""},
  };
  for (const FaultRow& row : rows) {
    const AlarmRulesLoad load =
        ParseAlarmRules("[[alarm]]\n" + row.text, "alarms.toml", &alarms_test::DefaultProfile());
    ASSERT_FALSE(load.rules) << row.what;
    ASSERT_TRUE(load.error) << row.what;
    EXPECT_EQ(load.error->line, row.line) << row.what << ": " << load.error->text;
    EXPECT_EQ(load.error->text.rfind("alarms.toml: line " + std::to_string(row.line) + ": ", 0), 0u)
        << row.what << ": " << load.error->text;
    EXPECT_NE(load.error->text.find(row.says), std::string::npos) << row.what << ": " << load.error->text;
  }
}

TEST(AlarmRuleFaultTest, TheFileAndItsTables) {
  const kelvo_profile::Profile* profile = &alarms_test::DefaultProfile();
  const struct {
    const char* what;
    std::string text;
    int line;
    std::string says;
  } rows[] = {
      {"alarm not tables", "alarm = 3\n", 1, "key \"alarm\" must be written as [[alarm]] tables"},
      {"another table", "[broker]\nurl = \"x\"\n", 1, "unknown key \"broker\" in the file"},
      {"not TOML", "[[alarm]\n", 1, ""},
  };
  for (const auto& row : rows) {
    const AlarmRulesLoad load = ParseAlarmRules(row.text, "alarms.toml", profile);
    ASSERT_TRUE(load.error) << row.what;
    EXPECT_EQ(load.error->line, row.line) << row.what << ": " << load.error->text;
    EXPECT_NE(load.error->text.find(row.says), std::string::npos) << row.what << ": " << load.error->text;
  }
  EXPECT_EQ(kelvo_alarms::LoadAlarmRules("/nonexistent/alarms.toml", profile).error->text,
            "/nonexistent/alarms.toml: cannot read the alarm rules");
  // Values off: no rule has anything to watch, but no rules is fine.
  const std::string rule = "[[alarm]]\nname = \"a\"\nvalue = \"cell_max\"\nabove = 3.6\n";
  const AlarmRulesLoad off = ParseAlarmRules(rule, "alarms.toml", nullptr);
  ASSERT_TRUE(off.error);
  EXPECT_NE(off.error->text.find("line 3: key \"value\" in [[alarm]] number 1: no profile is in use"),
            std::string::npos)
      << off.error->text;
  EXPECT_TRUE(ParseAlarmRules("", "alarms.toml", nullptr).rules);
}

TEST(AlarmRuleTest, ReadFromTheGatewaysFileWithDefaults) {
  const toml::table root = toml::parse(R"(
[broker]
url = "mqtt://localhost"

[[alarm]]
name = "cell_high"
value = "cell_voltages"
above = 3.60
clear = 3.55
for_s = 5
clear_for_s = 0.5
severity = "critical"
latch = true

[[alarm]]
name = "energy_in"
value = "energy_charged"
below = 2

[[alarm]]
name = "spread"
value = "cell_spread"
nonzero = true
)");
  const std::string_view extra[] = {"energy_charged", "energy_discharged"};
  const AlarmRulesLoad load =
      kelvo_alarms::ReadAlarmRules(root, "gateway.toml", &alarms_test::DefaultProfile(), extra);
  ASSERT_TRUE(load.rules) << load.error->text;
  ASSERT_EQ(load.rules->size(), 3u);
  using kelvo_alarms::Comparison;
  using kelvo_alarms::Severity;
  using std::chrono::milliseconds;
  using std::chrono::seconds;
  const kelvo_alarms::AlarmRule& full = (*load.rules)[0];
  EXPECT_EQ(full.name, "cell_high");
  EXPECT_EQ(full.value, "cell_voltages");
  EXPECT_EQ(full.comparison, Comparison::Above);
  EXPECT_EQ(full.threshold, 3.60);
  EXPECT_EQ(full.clear, 3.55);
  EXPECT_EQ(full.raise_delay, seconds(5));
  EXPECT_EQ(full.clear_delay, milliseconds(500));
  EXPECT_EQ(full.severity, Severity::Critical);
  EXPECT_TRUE(full.latch);
  EXPECT_EQ(full.line, 5);
  const kelvo_alarms::AlarmRule& plain = (*load.rules)[1];
  EXPECT_EQ(plain.comparison, Comparison::Below);
  EXPECT_EQ(plain.clear, 2);  // the threshold
  EXPECT_EQ(plain.raise_delay, seconds(0));
  EXPECT_EQ(plain.clear_delay, seconds(0));
  EXPECT_EQ(plain.severity, Severity::Warning);
  EXPECT_FALSE(plain.latch);
  EXPECT_EQ((*load.rules)[2].comparison, Comparison::Nonzero);
  EXPECT_EQ((*load.rules)[2].threshold, 0);
}

}  // namespace
