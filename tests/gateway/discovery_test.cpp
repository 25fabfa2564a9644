#include "gateway/discovery.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "codec/request_builder.h"
#include "gateway/site_topics.h"

namespace kelvo_gateway {
namespace {

TEST(GatewayTopics, UnitAndGatewayTopicsUnderThePrefix) {
  const struct {
    const char* prefix;
    UnitKey unit;
    const char* status;
    const char* availability;
    const char* gateway_availability;
    const char* stats;
  } rows[] = {
      {"kelvo",
       {"rack1", 7},
       "kelvo/rack1/7/status",
       "kelvo/rack1/7/availability",
       "kelvo/gateway/availability",
       "kelvo/gateway/stats"},
      {"kelvo/site-a",
       {"b_2", 0},
       "kelvo/site-a/b_2/0/status",
       "kelvo/site-a/b_2/0/availability",
       "kelvo/site-a/gateway/availability",
       "kelvo/site-a/gateway/stats"},
  };
  for (const auto& row : rows) {
    const UnitTopics topics = TopicsOf(row.prefix, row.unit);
    EXPECT_EQ(topics.status, row.status);
    EXPECT_EQ(topics.availability, row.availability);
    EXPECT_EQ(GatewayAvailabilityTopic(row.prefix), row.gateway_availability);
    EXPECT_EQ(GatewayStatsTopic(row.prefix), row.stats);
  }
}

// Acknowledgements come from anyone who may publish under the prefix.
TEST(GatewayTopics, AcknowledgementTopicsNameOneUnit) {
  const struct {
    const char* topic;
    std::optional<UnitKey> unit;
  } rows[] = {
      {"kelvo/site-a/rack1/7/alarms/ack", UnitKey{"rack1", 7}},
      {"kelvo/site-a/b_2/255/alarms/ack", UnitKey{"b_2", 255}},
      {"kelvo/site-a/rack1/256/alarms/ack", std::nullopt},
      {"kelvo/site-a/rack1/07/alarms/ack", std::nullopt},
      {"kelvo/site-a/rack1/-1/alarms/ack", std::nullopt},
      {"kelvo/site-a/rack1/99999999999999999999/alarms/ack", std::nullopt},
      {"kelvo/site-a/rack1/alarms/ack", std::nullopt},
      {"kelvo/site-a//7/alarms/ack", std::nullopt},
      {"kelvo/site-ab/rack1/7/alarms/ack", std::nullopt},
      {"kelvo/site-a/rack1/7/alarms", std::nullopt},
      {"kelvo/site-a/a/b/7/alarms/ack", std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(AckedUnit("kelvo/site-a", row.topic), row.unit) << row.topic;
}

// Hashes from sha256sum of the text.
TEST(GatewayTopicId, SafeTextAsItIsOtherTextCleanedWithItsHash) {
  const struct {
    const char* text;
    const char* id;
  } rows[] = {
      {"kelvo_site-A_rack1_07", "kelvo_site-A_rack1_07"},
      {"site_a", "site_a"},
      {"a b/c+#", "a_b_c__-a023d60f"},
      {"x.y:z", "x_y_z-089291eb"},
      {"\xC3\xA9t\xC3\xA9", "__t__-bd010c64"},  // "été": every byte of a UTF-8 character
      // Cleaned alike, told apart by the hash: two sites never share ids.
      {"site.a", "site_a-89f9bc4d"},
      {"工厂", "______-5c331171"},
      {"仓库", "______-89b2ecbe"},
      {"", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(TopicId(row.text), row.id) << row.text;
}

// A status answer from unit 4 with two cells and one temperature sensor,
// its 29 fields in order.
const std::string kStatus = codec::EncodeRequest(4, "C2",
                                                 "65A1B2C3"                // 1 device time
                                                 "0064"                    // 2 cycle time
                                                 "62"                      // 3 SOH
                                                 "0A28"                    // 4 total voltage
                                                 "02"                      // 5 cells
                                                 "0CE40CE8"                // 6 cell voltages
                                                 "0000"                    // 7 charge current
                                                 "0123"                    // 8 discharge current
                                                 "01"                      // 9 sensors
                                                 "19"                      // 10 temperatures
                                                 "00000000000000000000"    // 11-15 states
                                                 "03"                      // 16 MOS state
                                                 "00000000000000000000"    // 17-21 cell states
                                                 "000A000B"                // 22-23 discharges, charges
                                                 "5A"                      // 24 capacity percent
                                                 "1F4023282300ABCDBCDE");  // 25-29 capacities
// Its identity answer: software "2.1", serial "KV007", maker "KELV", board "B10", no release date.
const std::string kIdentity = codec::EncodeRequest(4, "C8",
                                                   "00000001"                          // command version
                                                   "02"                                // cells
                                                   "0A0B0C0D0102030405060708090A0B0C"  // CPU serial
                                                   "03322E31"                          // software version
                                                   "054B56303037"                      // serial number
                                                   "044B454C56"                        // maker
                                                   "03423130"                          // board
                                                   "00"                                // release date
                                                   "11"                                // serial check
                                                   "20250301"                          // made
                                                   "20250302"                          // battery set up
                                                   "00000007"                          // capabilities
                                                   "65A1B2C3"                          // device time
                                                   "00000002"                          // restarts
                                                   "65A1B000"                          // last restart
                                                   "2710");                            // design capacity

DiscoveryConfig Presentation() {
  DiscoveryConfig d;
  d.enabled = true;
  d.prefix = "ha";
  d.fields["总电压"] = {"V", 0.01, "voltage"};
  d.fields["单体电压数组"] = {"mV", std::nullopt, ""};
  return d;
}

DiscoveredUnit Unit(std::string_view status, std::string_view identity) {
  return {.client_id = "gw 1",
          .key = {"rack1", 4},
          .topics = {"site/rack1/4/status", "site/rack1/4/availability", "site/rack1/4/alarms"},
          .status_frame = status,
          .identity_frame = identity};
}

TEST(GatewayDiscovery, OneSensorPerNumericFieldAndArrayElement) {
  const std::vector<DiscoveryMessage> messages = DiscoveryConfigs(Presentation(), Unit(kStatus, kIdentity));
  const std::vector<std::string> objects = {
      "field01", "field02", "field03",   "field04", "field05", "field06_1", "field06_2", "field07",
      "field08", "field09", "field10_1", "field11", "field12", "field13",   "field14",   "field15",
      "field16", "field17", "field18",   "field19", "field20", "field21",   "field22",   "field23",
      "field24", "field25", "field26",   "field27", "field28", "field29"};
  // And one problem sensor: the offline alarm every unit has.
  ASSERT_EQ(messages.size(), objects.size() + 1);
  for (std::size_t i = 0; i < objects.size(); ++i) {
    EXPECT_EQ(messages[i].topic, "ha/sensor/kelvo_gw_1-c486798b_rack1_4/" + objects[i] + "/config");
  }
  EXPECT_EQ(messages.back().topic, "ha/binary_sensor/kelvo_gw_1-c486798b_rack1_4/alarm_offline/config");
  const nlohmann::json offline = nlohmann::json::parse(messages.back().payload);
  EXPECT_EQ(offline.at("state_topic"), "site/rack1/4/alarms");
  EXPECT_EQ(offline.at("device_class"), "problem");
  EXPECT_EQ(
      offline.at("value_template"),
      "{{ 'ON' if value_json.active | selectattr('name', 'equalto', \"offline\") | list | count > 0 else "
      "'OFF' }}");

  const std::string device =
      R"("device":{"identifiers":["kelvo_gw_1-c486798b_rack1_4"],"name":"rack1 unit 4","manufacturer":"KELV",)"
      R"("model":"B10","serial_number":"KV007","sw_version":"2.1"}})";
  const struct {
    std::size_t index;
    std::string payload;
  } rows[] = {
      // The device's clock: a timestamp sensor, never a measurement.
      {0,
       R"({"name":"设备时间","unique_id":"kelvo_gw_1-c486798b_rack1_4_field01",)"
       R"("object_id":"kelvo_gw_1-c486798b_rack1_4_field01","state_topic":"site/rack1/4/status",)"
       R"("value_template":"{{ as_datetime((value_json['items'] | selectattr('label', 'equalto', \"设备时间\") )"
       R"(| first)['number']) }}","availability_topic":"site/rack1/4/availability","device_class":"timestamp",)" +
           device},
      // No presentation: a plain number.
      {2,
       R"({"name":"SOH","unique_id":"kelvo_gw_1-c486798b_rack1_4_field03","object_id":"kelvo_gw_1-c486798b_rack1_4_field03",)"
       R"("state_topic":"site/rack1/4/status","value_template":"{{ (value_json['items'] | selectattr('label', )"
       R"('equalto', \"SOH\") | first)['number'] }}","availability_topic":"site/rack1/4/availability",)"
       R"("state_class":"measurement",)" +
           device},
      // Unit, scale and class.
      {3,
       R"({"name":"总电压","unique_id":"kelvo_gw_1-c486798b_rack1_4_field04","object_id":"kelvo_gw_1-c486798b_rack1_4_field04",)"
       R"("state_topic":"site/rack1/4/status","value_template":"{{ ((value_json['items'] | selectattr('label', )"
       R"('equalto', \"总电压\") | first)['number'] * 0.01) | round(6) }}",)"
       R"("availability_topic":"site/rack1/4/availability","state_class":"measurement",)"
       R"("unit_of_measurement":"V","device_class":"voltage",)" +
           device},
      // The second cell: the array's presentation, element 1.
      {6,
       R"({"name":"单体电压数组 2","unique_id":"kelvo_gw_1-c486798b_rack1_4_field06_2",)"
       R"("object_id":"kelvo_gw_1-c486798b_rack1_4_field06_2","state_topic":"site/rack1/4/status",)"
       R"("value_template":"{{ (value_json['items'] | selectattr('label', 'equalto', \"单体电压数组\") | first))"
       R"(['numbers'][1] }}","availability_topic":"site/rack1/4/availability","state_class":"measurement",)"
       R"("unit_of_measurement":"mV",)" +
           device},
  };
  for (const auto& row : rows) EXPECT_EQ(messages[row.index].payload, row.payload) << row.index;
}

TEST(GatewayDiscovery, DeviceWithoutIdentityAndNothingWithoutAStatusAnswer) {
  const auto configs = DiscoveryConfigs(Presentation(), Unit(kStatus, ""));
  ASSERT_EQ(configs.size(), 31u);
  EXPECT_EQ(
      nlohmann::json::parse(configs[0].payload).at("device"),
      nlohmann::json::parse(R"({"identifiers":["kelvo_gw_1-c486798b_rack1_4"],"name":"rack1 unit 4"})"));

  for (const std::string& status : {std::string(), std::string("<"), kIdentity}) {
    EXPECT_TRUE(DiscoveryConfigs(Presentation(), Unit(status, kIdentity)).empty()) << status;
  }
}

}  // namespace
}  // namespace kelvo_gateway
