#include "gateway/discovery_sensor.h"

namespace kelvo_gateway {

using Json = nlohmann::ordered_json;

Sensor Named(std::string object, std::string name, std::string expression) {
  Sensor sensor;
  sensor.object = std::move(object);
  sensor.name = std::move(name);
  sensor.expression = std::move(expression);
  return sensor;
}

Sensor FromMeaning(Sensor sensor, const kelvo_profile::ValueMeaning& meaning) {
  sensor.expression = "{{ " + sensor.expression + " }}";
  sensor.unit = meaning.unit;
  sensor.device_class = meaning.device_class;
  if (!meaning.state_class.empty()) sensor.state_class = meaning.state_class;
  return sensor;
}

Json ConfigOf(const Sensor& sensor, const std::string& node, const std::string& state_topic,
              const std::string& availability_topic, const Json& device) {
  Json config = {
      {"name", sensor.name},
      {"unique_id", node + "_" + sensor.object},
      {"object_id", node + "_" + sensor.object},
      {"state_topic", state_topic},
      {"value_template", sensor.clock ? "{{ as_datetime(" + sensor.expression + ") }}" : sensor.expression},
      {"availability_topic", availability_topic}};
  if (sensor.clock) {
    // Seconds since 1970 read as a time: no unit, no scale, no statistics.
    config["device_class"] = "timestamp";
  } else {
    config["state_class"] = sensor.state_class;
    if (!sensor.unit.empty()) config["unit_of_measurement"] = sensor.unit;
    if (!sensor.device_class.empty()) config["device_class"] = sensor.device_class;
  }
  config["device"] = device;
  return config;
}

}  // namespace kelvo_gateway
