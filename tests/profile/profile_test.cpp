#include "profile/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "codec/frame_breakdown.h"
#include "profile/profile_choice.h"
#include "profile/profile_values.h"
#include "profile/value_meaning.h"

namespace {

using kelvo_profile::ProfileValue;
using kelvo_profile::ValueKind;

// A 0xC2 answer of the simulated unit at address 0 (kelvo-frame simulate,
// then send 0 42): 16 cells, 4 sensors, discharging at 18 A.
const std::string kStatusAnswer =
    "<BB300C2AE6B19623400C8611486100CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD50000070804"
    "4445464400000000000200000000030000000000000000000000780077500F2812F212D416A816BC70>";

struct FaultRow {
  const char* what;
  std::string text;
  int line;
  std::string says;  // must appear in the message, which names the key
};

TEST(ProfileFaultTest, RefusedWithFileLineAndKey) {
  const FaultRow rows[] = {
      {"unknown label", "[field.volts]\nlabel = \"总电流\"\n", 2,
       "key \"label\" in [field.volts]: \"总电流\""},
      {"label missing", "[field.volts]\nunit = \"V\"\n", 1, "has no key \"label\""},
      {"label of a text field", "[field.app]\nlabel = \"应用版本\"\n", 2, "key \"label\" in [field.app]"},
      {"unknown key", "[field.volts]\nlabel = \"总电压\"\nscal = 0.01\n", 3,
       "unknown key \"scal\" in [field.volts]"},
      {"unknown top-level key", "version = 1\n", 1, "unknown key \"version\""},
      {"unknown title language", "[field.soc]\nlabel = \"SOH\"\ntitle = { fr = \"Santé\" }\n", 3,
       "unknown key \"fr\""},
      // Bad numbers.
      {"scale a string", "[field.volts]\nlabel = \"总电压\"\nscale = \"0.01\"\n", 3, "key \"scale\""},
      {"scale 0", "[field.volts]\nlabel = \"总电压\"\nscale = 0\n", 3, "key \"scale\""},
      {"offset not finite", "[field.volts]\nlabel = \"总电压\"\noffset = nan\n", 3, "key \"offset\""},
      {"decimals a fraction", "[field.volts]\nlabel = \"总电压\"\ndecimals = 1.5\n", 3, "key \"decimals\""},
      {"decimals too many", "[field.volts]\nlabel = \"总电压\"\ndecimals = 10\n", 3, "key \"decimals\""},
      {"bit past the field", "[field.mos]\nlabel = \"MOS状态\"\nbits = { 8 = \"spare\" }\n", 3, "key \"8\""},
      {"bit not a number", "[field.mos]\nlabel = \"MOS状态\"\nbits = { a = \"spare\" }\n", 3, "key \"a\""},
      {"bits of an array", "[field.cells]\nlabel = \"单体电压数组\"\nbits = { 0 = \"low\" }\n", 3,
       "key \"bits\""},
      {"bit name not a key", "[field.mos]\nlabel = \"MOS状态\"\nbits = { 0 = \"Charge\" }\n", 3, "key \"0\""},
      {"bit named twice", "[field.mos]\nlabel = \"MOS状态\"\nbits = { 1 = \"a\", 01 = \"b\" }\n", 3,
       "key \"bits\""},
      // Duplicates and key names.
      {"key twice", "[field.volts]\nlabel = \"总电压\"\n[field.volts]\nlabel = \"SOH\"\n", 3,
       "'field.volts'"},
      {"label twice", "[field.volts]\nlabel = \"总电压\"\n\n[field.pack]\nlabel = \"总电压\"\n", 5,
       "key \"label\" in [field.pack]: \"总电压\" is read by [field.volts] (line 1)"},
      {"flags clash",
       "[field.mos]\nlabel = \"MOS状态\"\nbits = { 0 = \"on\" }\n[field.mos_flags]\nlabel = \"SOH\"\n", 4,
       "key \"mos_flags\""},
      {"upper-case key", "[field.Volts]\nlabel = \"总电压\"\n", 1, "key \"Volts\" in [field]"},
      {"key with a dash", "[field.total-voltage]\nlabel = \"总电压\"\n", 1, "key \"total-voltage\""},
      {"not TOML", "[field.volts\n", 1, ""},
  };
  for (const FaultRow& row : rows) {
    const kelvo_profile::ProfileLoad load = kelvo_profile::ParseProfile(row.text, "site.toml");
    ASSERT_FALSE(load.profile) << row.what;
    ASSERT_TRUE(load.error) << row.what;
    EXPECT_EQ(load.error->file, "site.toml") << row.what;
    EXPECT_EQ(load.error->line, row.line) << row.what << ": " << load.error->text;
    EXPECT_EQ(load.error->text.rfind("site.toml: line " + std::to_string(row.line) + ": ", 0), 0u)
        << row.what << ": " << load.error->text;
    EXPECT_NE(load.error->text.find(row.says), std::string::npos) << row.what << ": " << load.error->text;
  }
}

TEST(ProfileFaultTest, MissingFileNamed) {
  const kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile("/nonexistent/site.toml");
  ASSERT_TRUE(load.error);
  EXPECT_EQ(load.error->text, "/nonexistent/site.toml: cannot read the profile");
  EXPECT_FALSE(kelvo_profile::LoadChosenProfile("none").profile);
  EXPECT_FALSE(kelvo_profile::LoadChosenProfile("none").error);
}

// One expected entry: a number, the numbers of an array, or the names of set bits.
struct Expected {
  const char* key;
  std::variant<double, std::vector<double>, std::vector<std::string_view>> value;
};

void ExpectValues(const std::vector<ProfileValue>& values, const std::vector<Expected>& expected) {
  ASSERT_EQ(values.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const ProfileValue& got = values[i];
    EXPECT_EQ(got.key, expected[i].key) << i;
    if (const auto* number = std::get_if<double>(&expected[i].value)) {
      EXPECT_EQ(got.kind, ValueKind::Number) << got.key;
      EXPECT_EQ(got.number, *number) << got.key;
    } else if (const auto* numbers = std::get_if<std::vector<double>>(&expected[i].value)) {
      EXPECT_EQ(got.kind, ValueKind::Numbers) << got.key;
      EXPECT_EQ(got.numbers, *numbers) << got.key;
    } else {
      EXPECT_EQ(got.kind, ValueKind::Flags) << got.key;
      EXPECT_EQ(got.flags, std::get<std::vector<std::string_view>>(expected[i].value)) << got.key;
    }
  }
}

// Worked from the answer's digits: 1486 is 5254 (52.54 V), cells 0CCF..0CD9
// are 3279..3289 mV, 0708 is 1800 (18.00 A discharging), 44 is 68 (28 °C),
// 0F28 is 3880 (38.80 Ah); power 52.54 V x -18.00 A.
TEST(ProfileValuesTest, DefaultProfileOnASimulatedAnswer) {
  const kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile(KVZ_DEFAULT_PROFILE);
  ASSERT_TRUE(load.profile) << load.error->text;
  const auto values = kelvo_profile::ApplyProfile(*load.profile, codec::BreakDownFrame(kStatusAnswer));
  ASSERT_TRUE(values);
  using Names = std::vector<std::string_view>;
  ExpectValues(*values, {
                            {"device_time", 1796825652.0},
                            {"cycle_time", 200.0},
                            {"soh", 97.0},
                            {"total_voltage", 52.54},
                            {"cell_count", 16.0},
                            {"cell_voltages",
                             std::vector<double>{3.279, 3.286, 3.282, 3.289, 3.285, 3.281, 3.288, 3.284,
                                                 3.280, 3.287, 3.283, 3.279, 3.286, 3.282, 3.289, 3.285}},
                            {"charge_current", 0.0},
                            {"discharge_current", 18.0},
                            {"temperature_count", 4.0},
                            {"temperatures", std::vector<double>{28, 29, 30, 28}},
                            {"temperature_protection", 0.0},
                            {"voltage_state", 0.0},
                            {"current_state", 2.0},
                            {"current_state_flags", Names{"discharging"}},
                            {"temperature_state", 0.0},
                            {"alarm_state", 0.0},
                            {"mos_state", 3.0},
                            {"mos_state_flags", Names{"charge_switch", "discharge_switch"}},
                            {"cell_overcharge_protection", 0.0},
                            {"cell_overdischarge_protection", 0.0},
                            {"cell_overcharge_alarm", 0.0},
                            {"cell_overdischarge_alarm", 0.0},
                            {"cell_balancing", 0.0},
                            {"discharge_count", 120.0},
                            {"charge_count", 119.0},
                            {"soc", 80.0},
                            {"remaining_capacity", 38.80},
                            {"full_capacity", 48.50},
                            {"learned_capacity", 48.20},
                            {"total_charged", 5800.0},
                            {"total_discharged", 5820.0},
                            {"current", -18.0},
                            {"power", -945.72},
                            {"cell_min", 3.279},
                            {"cell_max", 3.289},
                            {"cell_spread", 0.010},
                            // The first of two cells with the same reading.
                            {"cell_min_cell", 1.0},
                            {"cell_max_cell", 4.0},
                            {"temperature_min", 28.0},
                            {"temperature_max", 30.0},
                        });
}

// Derived figures need their inputs, and a key the profile gives itself wins.
TEST(ProfileValuesTest, DerivedOnlyFromWhatIsThere) {
  const struct {
    const char* what;
    std::string profile;
    std::vector<Expected> values;
  } rows[] = {
      {"voltage without currents",
       "[field.total_voltage]\nlabel = \"总电压\"\nscale = 0.01\n",
       {{"total_voltage", 52.54}}},
      {"own current, power from it",
       "[field.total_voltage]\nlabel = \"总电压\"\nscale = 0.01\n"
       "[field.current]\nlabel = \"当前放电电流\"\nscale = -0.1\n",
       {{"total_voltage", 52.54}, {"current", -180.0}, {"power", -9457.2}}},
      {"charge only",
       "[field.charge_current]\nlabel = \"当前充电电流\"\nscale = 0.01\n",
       {{"charge_current", 0.0}}},
      {"offset and decimals",
       "[field.temperatures]\nlabel = \"传感器温度数组\"\nscale = 0.5\noffset = -40\ndecimals = 0\n",
       // 68..70 halved less 40: -6, -5.5, -5, -6; a half rounds away from zero.
       {{"temperatures", std::vector<double>{-6, -6, -5, -6}},
        {"temperature_min", -6.0},
        {"temperature_max", -5.0}}},
  };
  const codec::FrameItems items = codec::BreakDownFrame(kStatusAnswer);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const kelvo_profile::ProfileLoad load = kelvo_profile::ParseProfile(row.profile, "site.toml");
    ASSERT_TRUE(load.profile) << load.error->text;
    const auto values = kelvo_profile::ApplyProfile(*load.profile, items);
    ASSERT_TRUE(values);
    ExpectValues(*values, row.values);
  }
  // A command without a layout has no values at all.
  const kelvo_profile::ProfileLoad load = kelvo_profile::ParseProfile(rows[0].profile, "site.toml");
  EXPECT_FALSE(kelvo_profile::ApplyProfile(*load.profile, codec::BreakDownFrame("<113000104002684>")));
}

// Units of the fields and of what is derived from them, as headers and charts name them.
TEST(ProfileValuesTest, UnitsOfValues) {
  const kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile(KVZ_DEFAULT_PROFILE);
  ASSERT_TRUE(load.profile) << load.error->text;
  const kelvo_profile::ProfileLoad millivolts = kelvo_profile::ParseProfile(
      "[field.total_voltage]\nlabel = \"总电压\"\nunit = \"mV\"\n"
      "[field.charge_current]\nlabel = \"当前充电电流\"\nunit = \"A\"\n",
      "site.toml");
  ASSERT_TRUE(millivolts.profile) << millivolts.error->text;
  const struct {
    const kelvo_profile::Profile& profile;
    const char* key;
    const char* unit;
  } rows[] = {
      {*load.profile, "total_voltage", "V"},
      {*load.profile, "temperatures", "°C"},
      {*load.profile, "current_state", ""},
      {*load.profile, "current", "A"},
      {*load.profile, "power", "W"},
      {*load.profile, "cell_spread", "V"},
      {*load.profile, "cell_max_cell", ""},
      {*load.profile, "temperature_min", "°C"},
      {*load.profile, "no_such_key", ""},
      // Other units multiply as they stand.
      {*millivolts.profile, "power", "mV·A"},
      {*millivolts.profile, "cell_min", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(kelvo_profile::ValueUnit(row.profile, row.key), row.unit) << row.key;
}

}  // namespace
