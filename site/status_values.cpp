#include "site/status_values.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "site/iso_time.h"

namespace kelvo_site {
namespace {

using Json = nlohmann::ordered_json;
constexpr double kNull = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kEnergyKeys[] = {"energy_charged", "energy_discharged"};

void Flatten(const Json& values, FlatValues& flat) {
  for (const auto& [key, value] : values.items()) {
    if (value.is_number()) {
      flat.slots.push_back({key, 0});
      flat.numbers.push_back(value.get<double>());
    } else if (value.is_null()) {
      flat.slots.push_back({key, 0});
      flat.numbers.push_back(kNull);
    } else if (value.is_array() && !key.ends_with("_flags")) {
      int element = 0;
      for (const Json& e : value) {
        ++element;
        if (!e.is_number() && !e.is_null()) continue;
        flat.slots.push_back({key, element});
        flat.numbers.push_back(e.is_number() ? e.get<double>() : kNull);
      }
    }
  }
}

}  // namespace

FlatValues FlattenValues(std::string_view values_json) {
  FlatValues flat;
  const Json values = Json::parse(values_json, nullptr, false);
  if (values.is_object()) Flatten(values, flat);
  return flat;
}

std::optional<StatusValues> ParseStatus(std::string_view payload, std::string* why) {
  if (payload.size() > kMaxStatusBytes) {
    *why = "is " + std::to_string(payload.size()) + " bytes, more than the " +
           std::to_string(kMaxStatusBytes) + " a status may have";
    return std::nullopt;
  }
  Json status = Json::parse(payload, nullptr, false);
  if (status.is_discarded() || !status.is_object()) {
    *why = "is not a JSON object";
    return std::nullopt;
  }
  StatusValues out;
  const auto time = status.find("time");
  std::optional<std::int64_t> ms;
  if (time != status.end() && time->is_string()) ms = ParseIsoTime(time->get_ref<const std::string&>());
  if (!ms) {
    *why = "has no \"time\" in ISO 8601 with an offset";
    return std::nullopt;
  }
  out.time_ms = *ms;
  Json values = Json::object();
  if (const auto v = status.find("values"); v != status.end()) {
    if (!v->is_object()) {
      *why = "has \"values\" that is not an object";
      return std::nullopt;
    }
    values = std::move(*v);
  }
  for (const char* key : kEnergyKeys) {
    const auto counter = status.find(key);
    if (counter != status.end() && counter->is_number() && !values.contains(key)) values[key] = *counter;
  }
  Flatten(values, out.flat);
  out.values_json = values.dump(-1, ' ', false, Json::error_handler_t::replace);
  return out;
}

}  // namespace kelvo_site
