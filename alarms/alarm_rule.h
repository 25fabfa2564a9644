// One alarm rule as read from an [[alarm]] table: which value it watches,
// when it raises and when it clears.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo_alarms {

using Clock = std::chrono::system_clock;
using TimePoint = Clock::time_point;
using Duration = Clock::duration;

enum class Severity { Warning, Critical };

// How the value is compared: above (value > threshold), below (value <
// threshold), or nonzero (any bit set: value != 0, threshold 0).
enum class Comparison { Above, Below, Nonzero };

// The built-in alarms, whose names no rule may take: every unit's, raised
// while it does not answer, and every bus's, raised while its link is down.
inline constexpr std::string_view kOfflineAlarm = "offline";
inline constexpr std::string_view kBusDownAlarm = "bus_down";

struct AlarmRule {
  std::string name;   // [a-z0-9_]+, unique among the rules
  std::string value;  // the profile, derived or caller's key it watches
  Comparison comparison = Comparison::Above;
  double threshold = 0;    // 0 for nonzero
  double clear = 0;        // the level it clears at; the threshold unless given
  Duration raise_delay{};  // for_s
  Duration clear_delay{};  // clear_for_s
  Severity severity = Severity::Warning;
  bool latch = false;
  int line = 0;  // of the [[alarm]] header, for messages

  // The same rule, wherever it stands in the file.
  [[nodiscard]] bool SameDefinition(const AlarmRule& other) const noexcept {
    return name == other.name && value == other.value && comparison == other.comparison &&
           threshold == other.threshold && clear == other.clear && raise_delay == other.raise_delay &&
           clear_delay == other.clear_delay && severity == other.severity && latch == other.latch;
  }
};

using AlarmRules = std::vector<AlarmRule>;

// "warning", "critical".
[[nodiscard]] constexpr std::string_view SeverityName(Severity severity) noexcept {
  return severity == Severity::Critical ? "critical" : "warning";
}

}  // namespace kelvo_alarms
