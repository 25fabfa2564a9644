#include "alarms/alarm_json.h"

#include <cmath>
#include <cstdint>

#include "records/record_time.h"

namespace kelvo_alarms {
namespace {

// Whole numbers are written whole (80, not 80.0), as the values are where a
// key has no decimals.
nlohmann::ordered_json Number(const std::optional<double>& x) {
  if (!x) return nullptr;
  constexpr double kExactInteger = 9007199254740992.0;  // 2^53
  if (std::trunc(*x) == *x && std::abs(*x) < kExactInteger) return static_cast<std::int64_t>(*x);
  return *x;
}

nlohmann::ordered_json WholeOrNull(const std::optional<int>& n) {
  if (!n) return nullptr;
  return *n;
}

}  // namespace

nlohmann::ordered_json AlarmsJson(TimePoint time, std::span<const ActiveAlarm> active) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const ActiveAlarm& alarm : active) {
    nlohmann::ordered_json entry = {{"name", alarm.name},
                                    {"severity", SeverityName(alarm.severity)},
                                    {"since", kelvo_records::FormatTime(alarm.since)},
                                    {"value", Number(alarm.value)},
                                    {"threshold", Number(alarm.threshold)}};
    if (alarm.element) entry["element"] = *alarm.element;
    entry["latched"] = alarm.latched;
    entry["acknowledged"] = alarm.acknowledged;
    list.push_back(std::move(entry));
  }
  return {{"time", kelvo_records::FormatTime(time)}, {"active", std::move(list)}};
}

nlohmann::ordered_json EventJson(const AlarmEvent& event) {
  return {{"time", kelvo_records::FormatTime(event.time)},
          {"bus", event.bus},
          {"address", WholeOrNull(event.address)},
          {"name", event.name},
          {"severity", SeverityName(event.severity)},
          {"state", AlarmStateName(event.state)},
          {"value", Number(event.value)},
          {"threshold", Number(event.threshold)},
          {"element", WholeOrNull(event.element)}};
}

void SeverityCounts::Add(std::span<const ActiveAlarm> active) noexcept {
  for (const ActiveAlarm& alarm : active) ++(alarm.severity == Severity::Critical ? critical : warning);
}

nlohmann::ordered_json SeverityCountsJson(const SeverityCounts& counts) {
  return {{"warning", counts.warning}, {"critical", counts.critical}};
}

}  // namespace kelvo_alarms
