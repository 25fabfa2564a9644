#include "gateway/reload_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvo_gateway {
namespace {

std::string Broker(const std::string& url, const std::string& extra = {}) {
  return "[broker]\nurl = \"" + url + "\"\nclient_id = \"gw\"\ntopic_prefix = \"site\"\n" + extra;
}

std::string Bus(const std::string& name, const std::string& addresses, const std::string& extra = {}) {
  // A server of its own for each bus: two buses never share a port.
  return "[[bus]]\nname = \"" + name + "\"\nport = \"tcp://serial-" + name +
         ":4001\"\naddresses = " + addresses + "\n" + extra;
}

GatewayConfig Parsed(const std::string& text) {
  ConfigResult result = ParseGatewayConfig(text, "gw.toml");
  EXPECT_TRUE(result.config) << result.error;
  return result.config.value_or(GatewayConfig{});
}

std::vector<std::string> Names(const std::vector<BusConfig>& buses) {
  std::vector<std::string> names;
  for (const BusConfig& bus : buses) names.push_back(bus.name);
  return names;
}

const std::string kInUse = Broker("mqtt://broker") + Bus("a", "[1, 2]") + Bus("b", "[3]");
const std::vector<UnitKey> kKnown = {{"a", 1}, {"a", 2}, {"b", 3}};

TEST(GatewayReloadPlan, DecidesEachStep) {
  const struct {
    const char* name;
    std::string next;
    std::vector<UnitKey> forget;
    bool reconnect;
    std::vector<std::string> stop;
    std::vector<std::string> start;
    bool discovery_changed;
  } rows[] = {
      {"same file", kInUse, {}, false, {}, {}, false},
      {"broker settings that need no new connection",
       Broker("mqtt://broker", "stats_interval_ms = 500\noffline_after = 9\nmax_queued = 5\n") +
           Bus("a", "[1, 2]") + Bus("b", "[3]"),
       {},
       false,
       {},
       {},
       false},
      {"the same broker written differently",
       Broker("mqtt://broker:1883/") + Bus("a", "[1, 2]") + Bus("b", "[3]"),
       {},
       false,
       {},
       {},
       false},
      {"another broker",
       Broker("mqtts://broker") + Bus("a", "[1, 2]") + Bus("b", "[3]"),
       {},
       true,
       {},
       {},
       false},
      {"another keepalive",
       Broker("mqtt://broker", "keepalive_s = 60\n") + Bus("a", "[1, 2]") + Bus("b", "[3]"),
       {},
       true,
       {},
       {},
       false},
      {"topics moved: every unit is cleared under the old prefix",
       "[broker]\nurl = \"mqtt://broker\"\nclient_id = \"gw\"\ntopic_prefix = \"site2\"\n" +
           Bus("a", "[1, 2]") + Bus("b", "[3]"),
       {{"a", 1}, {"a", 2}, {"b", 3}},
       true,
       {},
       {},
       false},
      {"bus added", kInUse + Bus("c", "[5]"), {}, false, {}, {"c"}, false},
      {"bus removed", Broker("mqtt://broker") + Bus("a", "[1, 2]"), {{"b", 3}}, false, {"b"}, {}, false},
      {"bus changed: its poller starts again, its units stay",
       Broker("mqtt://broker") + Bus("a", "[1, 2]", "interval_ms = 500\n") + Bus("b", "[3]"),
       {},
       false,
       {"a"},
       {"a"},
       false},
      {"address dropped",
       Broker("mqtt://broker") + Bus("a", "\"1\"") + Bus("b", "[3]"),
       {{"a", 2}},
       false,
       {"a"},
       {"a"},
       false},
      {"discovery turned on: every poller starts again",
       kInUse + "[homeassistant]\nenabled = true\n",
       {},
       false,
       {"a", "b"},
       {"a", "b"},
       true},
  };
  const GatewayConfig in_use = Parsed(kInUse);
  for (const auto& row : rows) {
    const ReloadPlan plan = PlanReload(in_use, ParseGatewayConfig(row.next, "gw.toml"), kKnown);
    ASSERT_TRUE(plan.next) << row.name << ": " << plan.refusal;
    EXPECT_EQ(plan.forget, row.forget) << row.name;
    EXPECT_EQ(plan.reconnect, row.reconnect) << row.name;
    EXPECT_EQ(plan.stop, row.stop) << row.name;
    EXPECT_EQ(Names(plan.start), row.start) << row.name;
    EXPECT_EQ(plan.discovery_changed, row.discovery_changed) << row.name;
  }
}

TEST(GatewayReloadPlan, AFileThatDoesNotCheckChangesNothing) {
  const ReloadPlan plan =
      PlanReload(Parsed(kInUse),
                 ParseGatewayConfig(Broker("mqtt://other") + "[[bus]]\nname = \"a\"\n", "gw.toml"), kKnown);
  EXPECT_FALSE(plan.next);
  EXPECT_EQ(plan.refusal,
            "gw.toml: line 5: [[bus]] number 1 (line 5) has no key \"port\", which is required");
  EXPECT_TRUE(plan.forget.empty());
  EXPECT_FALSE(plan.reconnect);
  EXPECT_TRUE(plan.stop.empty());
  EXPECT_TRUE(plan.start.empty());
}

}  // namespace
}  // namespace kelvo_gateway
