#include "gateway/bank_discovery.h"

#include <optional>

#include "gateway/discovery_sensor.h"
#include "profile/value_meaning.h"

namespace kelvo_gateway {

using Json = nlohmann::ordered_json;

std::vector<DiscoveryMessage> BankDiscoveryConfigs(const DiscoveryConfig& discovery,
                                                   const DiscoveredBank& bank) {
  const std::string node =
      "kelvo_" + TopicId(bank.client_id) + "_bank" + (bank.bus.empty() ? "" : "_" + bank.bus);
  const Json device = {{"identifiers", Json::array({node})},
                       {"name", bank.bus.empty() ? std::string("site bank") : bank.bus + " bank"}};
  const auto meaning = [&](const char* key) {
    return bank.profile != nullptr ? kelvo_profile::MeaningOf(*bank.profile, key) : std::nullopt;
  };
  struct Figure {
    const char* object;
    const char* name;
    const char* key;  // whose meaning the figure takes; null: a count
    const char* read;
  };
  const Figure figures[] = {
      {"units", "Units", nullptr, "units"},
      {"fresh", "Units answering", nullptr, "fresh"},
      {"soc", "State of charge", "soc", "soc"},
      {"remaining_capacity", "Remaining capacity", "remaining_capacity", "remaining_capacity"},
      {"full_capacity", "Full capacity", "full_capacity", "full_capacity"},
      {"current", "Current", "current", "current"},
      {"power", "Power", "power", "power"},
      {"cell_min", "Lowest cell", "cell_min", "cell_min.value"},
      {"cell_max", "Highest cell", "cell_max", "cell_max.value"},
      {"temperature_min", "Lowest temperature", "temperature_min", "temperature_min.value"},
      {"temperature_max", "Highest temperature", "temperature_max", "temperature_max.value"}};
  std::vector<DiscoveryMessage> out;
  for (const Figure& f : figures) {
    Sensor sensor = Named(f.object, f.name);
    // A null figure (no fresh unit gives it) shows as unknown, not as 0.
    sensor.expression = std::string("value_json.") + f.read;
    if (f.key != nullptr) {
      const std::optional<kelvo_profile::ValueMeaning> m = meaning(f.key);
      if (!m) continue;
      sensor = FromMeaning(sensor, *m);
    } else {
      sensor.expression = "{{ " + sensor.expression + " }}";
    }
    out.push_back({discovery.prefix + "/sensor/" + node + "/" + f.object + "/config",
                   ConfigOf(sensor, node, bank.state_topic, bank.availability_topic, device).dump()});
  }
  return out;
}

}  // namespace kelvo_gateway
