// The protocol side of the simulated unit: each answer decoded with the codec
// and checked against the battery's figures worked out by hand.
#include "sim/simulated_unit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "codec/frame_breakdown.h"
#include "codec/frame_validation.h"
#include "codec/request_builder.h"

namespace kelvo_sim {
namespace {

using std::chrono::seconds;
const std::chrono::steady_clock::time_point kStart{seconds(1000)};

// Header items and payload fields of a frame, as the codec cuts them.
struct Cut {
  std::string address;
  std::string command;
  std::vector<std::string> fields;
};

Cut CutFrame(const std::string& frame) {
  Cut cut;
  for (const codec::FrameItem& item : codec::BreakDownFrame(frame)) {
    if (item.role == codec::ItemRole::Address) cut.address = item.value;
    if (item.role == codec::ItemRole::Command) cut.command = item.value;
    if (item.role == codec::ItemRole::PayloadField) cut.fields.emplace_back(item.value);
  }
  return cut;
}

// Worked figures of address 0 (80 %, discharging at 18 A) with 16 cells and 4 sensors, at its start.
const std::vector<std::string> kStatusAtStart = {
    "6553F100",  // device time 1700000000
    "00C8",      // work cycle 200 ms
    "61",        // health 97 %
    "1486",      // 52545 mV in 10 mV
    "10",
    "0CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD5",  // 3320 - 36 + the cell offsets
    "0000",
    "0708",  // discharging 1800 x 10 mA
    "04",
    "44454644",  // 25 C + 3 under load + sensor offsets, + 40
    "0000",
    "0000",
    "0002",  // discharging
    "0000",
    "0000",
    "03",  // both switches on
    "0000",
    "0000",
    "0000",
    "0000",
    "0000",  // no balancing while discharging
    "0078",
    "0077",  // 120 discharges, 119 charges
    "50",    // 80 %
    "0F28",
    "12F2",
    "12D4",  // 3880, 4850, 4820 x 10 mAh
    "16A8",
    "16BC",  // 5800 Ah charged, 5820 Ah discharged
};

struct StatusRow {
  const char* what;
  std::vector<int> addresses;
  BatteryConfig config;
  int address;
  int later_s;                                      // the request after the first one at the start
  std::vector<std::pair<int, std::string>> expect;  // payload field number (1-29) and its text
};

TEST(SimulatedUnit, StatusAnswersFollowTheBattery) {
  const StatusRow rows[] = {
      {"100 s of discharge: 50 steps of 10 mAh fewer",
       {0},
       {},
       0,
       100,
       {{1, "6553F164"},
        {2, "00C8"},
        {4, "147E"},
        {6, "0CCA0CD10CCD0CD40CD00CCC0CD30CCF0CCB0CD20CCE0CCA0CD10CCD0CD40CD0"},
        {24, "4E"},
        {25, "0EF6"},
        {29, "16BC"}}},
      // 20 % is reached after 5820 s; 4 s of charging at 9 A add one step.
      {"past 20 % the battery charges",
       {0},
       {},
       0,
       5824,
       {{1, "655407C0"},
        {2, "00CC"},
        {4, "135C"},
        {7, "0384"},
        {8, "0000"},
        {10, "42434442"},
        {13, "0001"},
        {21, "4248"},
        {22, "0078"},
        {23, "0078"},
        {24, "14"},
        {25, "03CB"},
        {29, "16D9"}}},
      {"address 3 starts at 50 % charging; 2 cells, 1 sensor",
       {3},
       {2, 1},
       3,
       0,
       {{4, "0284"},
        {5, "02"},
        {6, "0C960C92"},
        {7, "0384"},
        {8, "0000"},
        {9, "01"},
        {10, "42"},
        {21, "0001"},
        {22, "0077"},
        {23, "0078"},
        {24, "32"},
        {25, "0979"}}},
      {"each address its own battery: 2 at 60 %", {1, 2, 60}, {}, 2, 0, {{24, "3C"}, {25, "0B5E"}}},
      {"60 at 80 %", {1, 2, 60}, {}, 60, 0, {{24, "50"}, {25, "0F28"}}},
      {"1 at 70 % charging", {1, 2, 60}, {}, 1, 0, {{8, "0000"}, {24, "46"}, {25, "0D43"}}},
  };
  for (const StatusRow& row : rows) {
    SCOPED_TRACE(row.what);
    SimulatedUnit unit(row.addresses, row.config, 7);
    const std::string request = codec::EncodeRequest(row.address, "42", "6553F100");
    ASSERT_TRUE(unit.Answer(request, kStart));
    const auto answer = unit.Answer(request, kStart + seconds(row.later_s));
    ASSERT_TRUE(answer);
    EXPECT_TRUE(codec::ValidateFrame(*answer, codec::ValidationMode::RequireKnownCommand).empty());
    const Cut cut = CutFrame(*answer);
    EXPECT_EQ(cut.command, "C2");
    ASSERT_EQ(cut.fields.size(), 29u);
    for (const auto& [field, text] : row.expect) EXPECT_EQ(cut.fields[field - 1], text) << "field " << field;
  }
}

TEST(SimulatedUnit, StatusAtStartHasEveryWorkedFigure) {
  SimulatedUnit unit({0}, {}, 7);
  const auto answer = unit.Answer("<1530042086553F10041>", kStart);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->size(), 187u);
  EXPECT_EQ(CutFrame(*answer).fields, kStatusAtStart);
  EXPECT_EQ(answer->substr(0, 10), "<BB300C2AE");
  // Where a reader of the default answer finds the two counts.
  EXPECT_EQ(answer->substr(28, 2), "10");
  EXPECT_EQ(answer->substr(102, 2), "04");
}

TEST(SimulatedUnit, IdentityAndRegisterAnswers) {
  const struct {
    const char* what;
    const char* command;
    const char* payload;
    const char* answer_command;
    std::vector<std::string> fields;
  } rows[] = {
      {"identity, the command version echoed",
       "48",
       "000000016553F1000001",
       "C8",
       {"00000001", "10", "4B565A53", "494D3136", "00000000", "00000000", "05312E342E32",
        "0A4B53323330392D303030", "056B656C766F", "074B565A2D53494D", "0A323032342D30332D3138", "29",
        "65039E80", "650AA680", "0000000F", "6553F100", "00000003", "6553F100", "1388"}},
      {"one register: charge per cent", "65", "0026", "E5", {"0026", "0050"}},
      {"one register: over-voltage setting", "65", "0100", "E5", {"0100", "0E42"}},
      {"one register nobody defined", "65", "1234", "E5", {"1234", "0000"}},
      {"registers in the order asked", "66", "03002000300107", "E6", {"03", "0020148600300CCF01070D48"}},
      {"no register asked", "66", "00", "E6", {"00", ""}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    SimulatedUnit unit({0}, {}, 7);
    const auto answer = unit.Answer(codec::EncodeRequest(0, row.command, row.payload), kStart);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(codec::ValidateFrame(*answer, codec::ValidationMode::RequireKnownCommand).empty());
    const Cut cut = CutFrame(*answer);
    EXPECT_EQ(cut.address, "00");
    EXPECT_EQ(cut.command, row.answer_command);
    EXPECT_EQ(cut.fields, row.fields);
  }
}

TEST(SimulatedUnit, ManyRegistersAnswerAsManyAsFitInOneFrame) {
  std::string payload = "28";  // 40 registers, 0x0100 to 0x0127
  for (int reg = 0x100; reg < 0x128; ++reg) {
    char text[5];
    std::snprintf(text, sizeof text, "%04X", reg);
    payload += text;
  }
  SimulatedUnit unit({0}, {}, 7);
  const auto answer = unit.Answer(codec::EncodeRequest(0, "66", payload), kStart);
  ASSERT_TRUE(answer);
  const Cut cut = CutFrame(*answer);
  EXPECT_EQ(cut.fields[0], "1C");  // 28 pairs fill 227 payload characters but one
  EXPECT_EQ(cut.fields[1].substr(0, 8), "01000E42");
  EXPECT_EQ(cut.fields[1].substr(27 * 8), "011B0000");
}

TEST(SimulatedUnit, SilentToWhatIsNotItsOwnWellFormedRequest) {
  const struct {
    const char* what;
    std::string request;
  } rows[] = {
      {"another address", codec::EncodeRequest(1, "42", "6553F100")},
      {"wrong check value", "<1530042086553F10000>"},
      {"uncatalogued command", codec::EncodeRequest(0, "43", "6553F100")},
      {"an answer's command", codec::EncodeRequest(0, "C2", "")},
      {"payload too short for the layout", codec::EncodeRequest(0, "42", "6553F1")},
      {"lower-case payload", codec::EncodeRequest(0, "42", "6553f100")},
      {"cut short", "<1530042086553F10041"},
      {"empty", ""},
  };
  SimulatedUnit unit({0, 2}, {}, 7);
  for (const auto& row : rows) EXPECT_FALSE(unit.Answer(row.request, kStart)) << row.what;
}

TEST(SimulatedUnit, RefusesCountsWhoseStatusAnswerWouldNotFit) {
  const struct {
    BatteryConfig config;
    const char* reason;  // a part of the reason; empty: accepted
  } rows[] = {
      {{16, 4}, ""},
      {{29, 4}, ""},  // 239 characters
      {{30, 4}, "with 4 sensors at most 29 cells fit"},
      {{1, 60}, ""},
      {{1, 61}, "use fewer sensors"},
      {{0, 4}, "cell count must be 1 to 255"},
      {{16, -1}, "sensor count must be 0 to 255"},
      {{256, 0}, "cell count"},
  };
  for (const auto& row : rows) {
    const auto reason = SimulatedUnit::CheckConfig(row.config);
    SCOPED_TRACE(std::to_string(row.config.cells) + " cells, " + std::to_string(row.config.sensors) +
                 " sensors");
    if (*row.reason == '\0') {
      EXPECT_FALSE(reason) << *reason;
    } else {
      ASSERT_TRUE(reason);
      EXPECT_NE(reason->find(row.reason), std::string::npos) << *reason;
    }
  }
}

}  // namespace
}  // namespace kelvo_sim
