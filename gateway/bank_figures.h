// Bank figures: the units of one bus (a bank), or every unit of the gateway
// (the site), summed up from their latest answers. Only fresh units count.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>

#include "gateway/site_topics.h"
#include "profile/profile_values.h"

namespace kelvo_gateway {

// A figure with the decimals its values carry.
struct Figure {
  double value = 0;
  int decimals = 0;
};

// The worst cell or sensor of one unit: its reading and its 1-based number.
struct Extreme {
  Figure reading;
  int element = 0;
};

// What the bank figures take from one unit's values; each absent when the
// values lack it.
struct BankInputs {
  std::optional<Figure> soc;
  std::optional<Figure> remaining_capacity;
  std::optional<Figure> full_capacity;
  std::optional<Figure> current;
  std::optional<Figure> power;
  std::optional<Extreme> cell_min;
  std::optional<Extreme> cell_max;
  std::optional<Extreme> temperature_min;
  std::optional<Extreme> temperature_max;
};

[[nodiscard]] BankInputs BankInputsOf(std::span<const kelvo_profile::ProfileValue> values);

struct BankMember {
  const UnitKey* key = nullptr;
  const BankInputs* inputs = nullptr;  // null: never answered
  bool fresh = false;                  // online, and its last answer recent
};

// {"time", "units", "fresh", "soc", "remaining_capacity", "full_capacity",
// "current", "power", "cell_min": {"value", "bus", "address", "cell"},
// "cell_max", "temperature_min": {..., "sensor"}, "temperature_max"}: soc
// weighted by capacity (100 x remaining / full), capacities, current and
// power summed, the extremes the worst of any fresh unit; null where no fresh
// unit gives a figure.
[[nodiscard]] nlohmann::ordered_json BankJson(const std::string& time, std::span<const BankMember> members);

}  // namespace kelvo_gateway
