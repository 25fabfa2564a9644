// What evaluating alarms gives: the changes it caused, and the alarms that
// stand.
#pragma once

#include <optional>
#include <string>

#include "alarms/alarm_rule.h"

namespace kelvo_alarms {

enum class AlarmState { Raised, Cleared, Acknowledged };

// One change of one alarm. `value` is the value that caused it (for an
// acknowledgement or a removed rule, which no value causes: the one that
// raised the alarm); `value` and `threshold` are none for offline and
// bus_down. `element` is the 1-based cell or sensor of an array key.
struct AlarmEvent {
  TimePoint time;
  std::string bus;
  std::optional<int> address;  // none for a bus's alarm
  std::string name;
  Severity severity = Severity::Warning;
  AlarmState state = AlarmState::Raised;
  std::optional<double> value;
  std::optional<double> threshold;
  std::optional<int> element;
};

// One alarm in a unit's or bus's list. `since` is when it was raised, and
// `value` the value that raised it. `latched`: its condition has cleared and
// only the latch holds it; `acknowledged`: acknowledged while its condition
// still holds (it leaves the list when the condition clears).
struct ActiveAlarm {
  std::string name;
  Severity severity = Severity::Warning;
  TimePoint since;
  std::optional<double> value;
  std::optional<double> threshold;
  std::optional<int> element;
  bool latched = false;
  bool acknowledged = false;
};

// "raised", "cleared", "acknowledged".
[[nodiscard]] constexpr std::string_view AlarmStateName(AlarmState state) noexcept {
  switch (state) {
    case AlarmState::Raised: return "raised";
    case AlarmState::Cleared: return "cleared";
    case AlarmState::Acknowledged: return "acknowledged";
  }
  return "raised";
}

}  // namespace kelvo_alarms
