#include "records/profile_json.h"

#include <cmath>

#include "profile/profile_values.h"

namespace kelvo_records {
namespace {

nlohmann::ordered_json JsonNumber(double number, int decimals) {
  if (decimals == 0) return std::llround(number);
  return number;
}

}  // namespace

std::optional<nlohmann::ordered_json> JsonValues(const kelvo_profile::Profile& profile,
                                                 const codec::FrameItems& items) {
  const std::optional<std::vector<kelvo_profile::ProfileValue>> values =
      kelvo_profile::ApplyProfile(profile, items);
  if (!values || values->empty()) return std::nullopt;
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  // The keys are unique by the profile's rules, so entries go in at the end
  // without the map's search for each.
  auto& entries = object.get_ref<nlohmann::ordered_json::object_t&>();
  entries.reserve(values->size());
  for (const kelvo_profile::ProfileValue& value : *values) {
    nlohmann::ordered_json entry;
    switch (value.kind) {
      case kelvo_profile::ValueKind::Number: entry = JsonNumber(value.number, value.decimals); break;
      case kelvo_profile::ValueKind::Numbers:
        entry = nlohmann::ordered_json::array();
        entry.get_ref<nlohmann::ordered_json::array_t&>().reserve(value.numbers.size());
        for (const double number : value.numbers) entry.push_back(JsonNumber(number, value.decimals));
        break;
      case kelvo_profile::ValueKind::Flags:
        entry = nlohmann::ordered_json::array();
        for (const std::string_view name : value.flags) entry.push_back(name);
        break;
    }
    entries.emplace_back(std::string(value.key), std::move(entry));
  }
  return object;
}

std::optional<nlohmann::ordered_json> JsonValues(const kelvo_profile::Profile& profile,
                                                 std::string_view frame) {
  const std::optional<codec::FrameItems> items = codec::TryBreakDownFrame(frame);
  if (!items) return std::nullopt;
  return JsonValues(profile, *items);
}

}  // namespace kelvo_records
