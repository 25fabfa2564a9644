// One discovery sensor: what it shows and how its config reads, shared by
// the units' and the banks' devices.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "profile/value_meaning.h"

namespace kelvo_gateway {

// What one sensor shows: its unit and classes, read by `expression`.
struct Sensor {
  std::string object;  // the object id's last part
  std::string name;
  std::string expression;
  std::string unit;
  std::string device_class;
  std::string state_class = "measurement";
  bool clock = false;  // seconds since 1970, shown as a time
};

[[nodiscard]] Sensor Named(std::string object, std::string name, std::string expression = {});

// `sensor` reading its expression as is, in the unit and classes of `meaning`.
[[nodiscard]] Sensor FromMeaning(Sensor sensor, const kelvo_profile::ValueMeaning& meaning);

// The retained config of `sensor` on the device `node`.
[[nodiscard]] nlohmann::ordered_json ConfigOf(const Sensor& sensor, const std::string& node,
                                              const std::string& state_topic,
                                              const std::string& availability_topic,
                                              const nlohmann::ordered_json& device);

}  // namespace kelvo_gateway
