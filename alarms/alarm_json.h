// The alarm topics' payloads: a unit's or bus's list of standing alarms, and
// one event.
#pragma once

#include <nlohmann/json.hpp>
#include <span>

#include "alarms/alarm_events.h"

namespace kelvo_alarms {

// {"time", "active": [{"name", "severity", "since", "value", "threshold",
// "element", "latched", "acknowledged"}]}, for {prefix}/{bus}/{address}/alarms
// and {prefix}/{bus}/alarms: "element" only for an array key's alarm, "value"
// and "threshold" null for offline and bus_down; "active" [] when none stands.
// Times as the records write them. Throws only std::bad_alloc.
[[nodiscard]] nlohmann::ordered_json AlarmsJson(TimePoint time, std::span<const ActiveAlarm> active);

// {"time", "bus", "address", "name", "severity", "state", "value", "threshold",
// "element"}, for {prefix}/events: every key always there, "address" null for
// a bus's alarm, "element" null but for an array key's alarm.
[[nodiscard]] nlohmann::ordered_json EventJson(const AlarmEvent& event);

// How many alarms stand of each severity, for the bank's "alarms".
struct SeverityCounts {
  int warning = 0;
  int critical = 0;

  void Add(std::span<const ActiveAlarm> active) noexcept;
};

// {"warning": N, "critical": N}.
[[nodiscard]] nlohmann::ordered_json SeverityCountsJson(const SeverityCounts& counts);

}  // namespace kelvo_alarms
