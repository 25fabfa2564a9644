// What the service makes of a topic and a status message, before any store:
// which prefix, bus and unit a topic names, and the numbers of an answer.
#include <gtest/gtest.h>

#include <cmath>

#include "site/site_topics.h"
#include "site/status_values.h"

namespace kelvo_site {
namespace {

TEST(SiteTopics, NamesPrefixBusAndUnit) {
  const std::vector<std::string> prefixes = {"kelvo", "kelvo/site-a"};
  struct Case {
    const char* topic;
    std::optional<TopicKind> kind;
    const char* prefix = "";
    const char* bus = "";
    int address = 0;
  };
  const Case cases[] = {
      {"kelvo/site-a/rack1/3/status", TopicKind::Status, "kelvo/site-a", "rack1",
       3},  // the longer prefix wins
      {"kelvo/rack1/3/status", TopicKind::Status, "kelvo", "rack1", 3},
      {"kelvo/site-a/rack1/255/availability", TopicKind::Availability, "kelvo/site-a", "rack1", 255},
      {"kelvo/site-a/rack1/0/alarms", TopicKind::UnitAlarms, "kelvo/site-a", "rack1", 0},
      {"kelvo/site-a/rack1/alarms", TopicKind::BusAlarms, "kelvo/site-a", "rack1"},
      {"kelvo/site-a/rack1/bank", TopicKind::BusBank, "kelvo/site-a", "rack1"},
      {"kelvo/site-a/bank", TopicKind::SiteBank, "kelvo/site-a"},
      {"kelvo/site-a/events", TopicKind::Events, "kelvo/site-a"},
      {"kelvo/site-a/gateway/availability", TopicKind::GatewayAvailability, "kelvo/site-a"},
      {"kelvo/site-a/rack1/3/alarms/ack", std::nullopt},  // what the service publishes, not reads
      {"kelvo/site-a/rack1/256/status", std::nullopt},    // Address past 255.
      {"kelvo/site-a/rack1/-1/status", std::nullopt},     // Sign.
      {"kelvo/site-a/rack1/0x3/status", std::nullopt},    // Not decimal.
      {"kelvo/site-a//3/status", std::nullopt},           // Empty bus.
      {"kelvox/rack1/3/status", std::nullopt},            // A prefix's text, not its level.
      {"other/rack1/3/status", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.topic);
    const std::optional<SiteTopic> t = ParseSiteTopic(prefixes, c.topic);
    ASSERT_EQ(t.has_value(), c.kind.has_value());
    if (!t) continue;
    EXPECT_EQ(t->kind, *c.kind);
    EXPECT_EQ(t->prefix, c.prefix);
    EXPECT_EQ(t->bus, c.bus);
    EXPECT_EQ(t->address, c.address);
  }
}

TEST(StatusValues, FlattensNumbersAndArraysButNotFlags) {
  std::string why;
  const std::optional<StatusValues> s = ParseStatus(
      R"({"time":"2026-12-09T15:10:02.511+01:00","address":3,"values":{"total_voltage":53,)"
      R"("cell_voltages":[3.3,null,3.31],"status_flags":["charging","balancing"],"soc":null,"name":"x"},)"
      R"("energy_charged":12.5})",
      &why);
  ASSERT_TRUE(s) << why;
  EXPECT_EQ(s->time_ms, 1796825402511);  // 14:10:02.511 UTC
  const std::vector<Slot> slots = {{"total_voltage", 0}, {"cell_voltages", 1}, {"cell_voltages", 2},
                                   {"cell_voltages", 3}, {"soc", 0},           {"energy_charged", 0}};
  EXPECT_EQ(s->flat.slots, slots);
  ASSERT_EQ(s->flat.numbers.size(), 6u);
  EXPECT_EQ(s->flat.numbers[0], 53);
  EXPECT_TRUE(std::isnan(s->flat.numbers[2]));
  EXPECT_EQ(s->flat.numbers[3], 3.31);
  EXPECT_TRUE(std::isnan(s->flat.numbers[4]));
  EXPECT_EQ(s->flat.numbers[5], 12.5);
  // The flags stay in the values shown; the counter beside them joins them.
  EXPECT_NE(s->values_json.find("\"status_flags\":[\"charging\",\"balancing\"]"), std::string::npos);
  EXPECT_NE(s->values_json.find("\"energy_charged\":12.5"), std::string::npos);
  EXPECT_EQ(FlattenValues(s->values_json).slots, slots);  // as read back from the store
}

TEST(StatusValues, KeepsTheValuesAsTheyCame) {
  std::string why;
  const std::optional<StatusValues> s = ParseStatus(
      "{ \"values\" : { \"soc\" : 50.10 } ,\n \"energy_discharged\": 3, \"time\":\"2026-12-09T14:10:02Z\" }",
      &why);
  ASSERT_TRUE(s) << why;
  EXPECT_EQ(s->values_json, "{ \"soc\" : 50.10 ,\"energy_discharged\":3.0}");
  const std::optional<StatusValues> empty =
      ParseStatus(R"({"values":{},"energy_charged":1,"time":"2026-12-09T14:10:02Z"})", &why);
  ASSERT_TRUE(empty) << why;
  EXPECT_EQ(empty->values_json, R"({"energy_charged":1.0})");
}

TEST(StatusValues, RefusesWhatIsNotAStatus) {
  const std::string huge = R"({"time":"2026-12-09T14:10:02.511+00:00","values":{"x":")" +
                           std::string(kMaxStatusBytes, 'a') + R"("}})";
  const std::pair<const char*, std::string> cases[] = {
      {"not JSON", "not json"},
      {"an array", "[1,2]"},
      {"no time", R"({"values":{}})"},
      {"a time without an offset", R"({"time":"2026-12-09T14:10:02.511","values":{}})"},
      {"a time that is no date", R"({"time":"2026-13-45T99:10:02.511+00:00","values":{}})"},
      {"a number for the time", R"({"time":1796825402511,"values":{}})"},
      {"values that are a list", R"({"time":"2026-12-09T14:10:02.511+00:00","values":[1]})"},
      // Kept as text for the page, so nothing in it may be broken JSON.
      {"a bad escape among the values", R"({"time":"2026-12-09T14:10:02.511+00:00","values":{"name":"\q"}})"},
      {"a bad number in a flags list",
       R"({"time":"2026-12-09T14:10:02.511+00:00","values":{"x_flags":[1.]}})"},
      {"a key twice", R"({"time":"2026-12-09T14:10:02.511+00:00","values":{"soc":50,"soc":51}})"},
      // The first, never read through, hides broken JSON.
      {"values twice", R"({"time":"2026-12-09T14:10:02.511+00:00","values":{"soc":nul},"values":{}})"},
      {"text after the object", R"({"time":"2026-12-09T14:10:02.511+00:00","values":{}} {})"},
      {"an unclosed object", R"({"time":"2026-12-09T14:10:02.511+00:00","values":{"soc":5)"},
      {"nested past any gateway's depth", R"({"time":"2026-12-09T14:10:02.511+00:00","values":{"x":)" +
                                              std::string(100, '[') + std::string(100, ']') + "}}"},
      {"too long", huge},
  };
  for (const auto& [name, payload] : cases) {
    SCOPED_TRACE(name);
    std::string why;
    EXPECT_FALSE(ParseStatus(payload, &why));
    EXPECT_FALSE(why.empty());
  }
}

}  // namespace
}  // namespace kelvo_site
