// bus_down instead of one offline per unit, reloads, acknowledgements by
// name, and the topics' payloads.
#include "alarms/bus_alarms.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alarm_test_support.h"
#include "alarms/alarm_json.h"
#include "records/record_time.h"

namespace {

using alarms_test::At;
using alarms_test::Describe;
using kelvo_alarms::BusAlarms;
using kelvo_profile::ProfileValue;
using kelvo_profile::ValueKind;

const std::vector<ProfileValue> kNoValues;

struct BusStep {
  const char* what;  // "round down", "round up", "answer 1", "offline 1"
  const char* events;
  const char* unit1;  // the lists after the step
  const char* bus;
};

TEST(BusAlarmsTest, BusDownInsteadOfEveryUnitOffline) {
  const BusStep steps[] = {
      {"answer 1", "", "", ""},
      {"answer 2", "", "", ""},
      {"offline 2", "raised offline -", "", ""},
      {"round down", "", "", ""},
      {"round down", "", "", ""},
      {"offline 1", "", "", ""},  // the link explains it
      {"round down", "raised bus_down -", "", "bus_down - @7"},
      {"round down", "", "", "bus_down - @7"},
      {"round up", "cleared bus_down -", "", ""},
      {"round up", "", "", ""},
      {"round up", "raised offline -", "offline - @11", ""},  // still silent with the link up
      {"answer 1", "cleared offline -", "", ""},
      // A short outage raises nothing, and a unit that answers after it
      // never shows offline.
      {"round down", "", "", ""},
      {"offline 1", "", "", ""},
      {"round up", "", "", ""},
      {"answer 1", "", "", ""},
      {"round up", "", "", ""},
      {"round up", "", "", ""},
      {"round up", "", "", ""},
  };
  BusAlarms bus("east", alarms_test::Rules(""), 3);
  double t = 0;
  for (const BusStep& step : steps) {
    ++t;
    const std::string what = step.what;
    std::vector<kelvo_alarms::AlarmEvent> events;
    if (what == "round down" || what == "round up") events = bus.Round(what == "round down", At(t));
    if (what.rfind("answer ", 0) == 0) events = bus.Answered(std::stoi(what.substr(7)), kNoValues, At(t));
    if (what.rfind("offline ", 0) == 0) events = bus.WentOffline(std::stoi(what.substr(8)), At(t));
    EXPECT_EQ(Describe(events), step.events) << "step " << t << ": " << what;
    EXPECT_EQ(Describe(bus.Active(1)), step.unit1) << "step " << t << ": " << what;
    EXPECT_EQ(Describe(bus.BusActive()), step.bus) << "step " << t << ": " << what;
  }
  // Unit 2 went offline before the cut, and stays so.
  EXPECT_EQ(Describe(bus.Active(2)), "offline - @3");
  EXPECT_EQ(Describe(bus.Forget(2, At(30))), "cleared offline -");
  EXPECT_TRUE(bus.Active(2).empty());
}

const char* const kThreeRules = R"(
[[alarm]]
name = "cell_high"
value = "cell_max"
above = 3.6
[[alarm]]
name = "soc_low"
value = "soc"
below = 20
latch = true
[[alarm]]
name = "hot"
value = "temperature_max"
above = 45
)";

std::vector<ProfileValue> HighLowHot() {
  return {{"cell_max", ValueKind::Number, 3.65, {}, {}, 3},
          {"soc", ValueKind::Number, 15, {}, {}, 0},
          {"temperature_max", ValueKind::Number, 50, {}, {}, 0}};
}

TEST(BusAlarmsTest, ReloadClearsRemovedAndChangedRulesOnly) {
  BusAlarms bus("east", alarms_test::Rules(kThreeRules), 3);
  EXPECT_EQ(Describe(bus.Answered(4, HighLowHot(), At(0))),
            "raised cell_high 3.65; raised soc_low 15; raised hot 50");
  // cell_high kept as it was (moved in the file), soc_low gone, hot changed.
  const auto events = bus.ReplaceRules(alarms_test::Rules(R"(
[[alarm]]
name = "hot"
value = "temperature_max"
above = 55
[[alarm]]
name = "cell_high"
value = "cell_max"
above = 3.6
)"),
                                       At(10));
  EXPECT_EQ(Describe(events), "cleared soc_low 15; cleared hot 50");
  EXPECT_EQ(Describe(bus.Active(4)), "cell_high 3.65 @0");
  EXPECT_EQ(Describe(bus.Answered(4, HighLowHot(), At(11))), "");
  std::vector<ProfileValue> hotter = HighLowHot();
  hotter[2].number = 56;
  EXPECT_EQ(Describe(bus.Answered(4, hotter, At(12))), "raised hot 56");
  EXPECT_EQ(Describe(bus.Active(4)), "hot 56 @12; cell_high 3.65 @0");
}

TEST(BusAlarmsTest, AcknowledgeByName) {
  BusAlarms bus("east", alarms_test::Rules(kThreeRules), 3);
  (void)bus.Answered(4, HighLowHot(), At(0));
  (void)bus.WentOffline(4, At(1));
  const auto one = bus.Acknowledge(4, "hot", At(2));
  EXPECT_TRUE(one.known);
  EXPECT_EQ(Describe(one.events), "acknowledged hot 50");
  const auto all = bus.Acknowledge(4, "*", At(3));
  EXPECT_EQ(Describe(all.events),
            "acknowledged offline -; acknowledged cell_high 3.65; acknowledged soc_low 15");
  EXPECT_EQ(Describe(bus.Active(4)),
            "offline - @1 acked; cell_high 3.65 @0 acked; soc_low 15 @0 acked; hot 50 @0 acked");
  EXPECT_FALSE(bus.Acknowledge(4, "cell_low", At(4)).known);
  EXPECT_FALSE(bus.Acknowledge(4, "", At(4)).known);
  // A unit never heard of knows the names, and has nothing to acknowledge.
  const auto stranger = bus.Acknowledge(9, "*", At(4));
  EXPECT_TRUE(stranger.known);
  EXPECT_TRUE(stranger.events.empty());
  EXPECT_TRUE(bus.units().find(9) == bus.units().end());
}

TEST(AlarmJsonTest, ListAndEventPayloads) {
  BusAlarms bus("east", alarms_test::Rules(R"(
[[alarm]]
name = "cell_high"
value = "cell_voltages"
above = 3.6
severity = "critical"
[[alarm]]
name = "soc_low"
value = "soc"
below = 20.5
latch = true
)"),
                1);
  const std::vector<ProfileValue> values = {{"cell_voltages", ValueKind::Numbers, 0, {3.5, 3.612}, {}, 3},
                                            {"soc", ValueKind::Number, 15, {}, {}, 0}};
  const auto raised = bus.Answered(4, values, At(0));
  ASSERT_EQ(raised.size(), 2u);
  const std::string t0 = kelvo_records::FormatTime(At(0));
  EXPECT_EQ(
      kelvo_alarms::EventJson(raised[0]).dump(),
      R"({"time":")" + t0 +
          R"(","bus":"east","address":4,"name":"cell_high","severity":"critical","state":"raised","value":3.612,"threshold":3.6,"element":2})");
  EXPECT_EQ(
      kelvo_alarms::EventJson(raised[1]).dump(),
      R"({"time":")" + t0 +
          R"(","bus":"east","address":4,"name":"soc_low","severity":"warning","state":"raised","value":15,"threshold":20.5,"element":null})");
  (void)bus.Answered(4, {{{"soc", ValueKind::Number, 30, {}, {}, 0}}}, At(1));
  (void)bus.WentOffline(4, At(2));
  const auto active = bus.Active(4);
  const std::string t2 = kelvo_records::FormatTime(At(2));
  EXPECT_EQ(kelvo_alarms::AlarmsJson(At(2), active).dump(),
            R"({"time":")" + t2 + R"(","active":[)" +                                                      //
                R"({"name":"offline","severity":"critical","since":")" + t2 +                              //
                R"(","value":null,"threshold":null,"latched":false,"acknowledged":false},)" +              //
                R"({"name":"cell_high","severity":"critical","since":")" + t0 +                            //
                R"(","value":3.612,"threshold":3.6,"element":2,"latched":false,"acknowledged":false},)" +  //
                R"({"name":"soc_low","severity":"warning","since":")" + t0 +                               //
                R"(","value":15,"threshold":20.5,"latched":true,"acknowledged":false}]})");
  EXPECT_EQ(kelvo_alarms::AlarmsJson(At(2), bus.BusActive()).dump(),
            R"({"time":")" + t2 + R"(","active":[]})");
  const auto down = bus.Round(true, At(3));
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(
      kelvo_alarms::EventJson(down[0]).dump(),
      R"({"time":")" + kelvo_records::FormatTime(At(3)) +
          R"(","bus":"east","address":null,"name":"bus_down","severity":"critical","state":"raised","value":null,"threshold":null,"element":null})");
  kelvo_alarms::SeverityCounts counts;
  counts.Add(active);
  counts.Add(bus.BusActive());
  EXPECT_EQ(kelvo_alarms::SeverityCountsJson(counts).dump(), R"({"warning":1,"critical":3})");
}

}  // namespace
