// The state of one alarm: one rule on one unit (on one element of an array
// key), or a built-in alarm. Times are the caller's; nothing reads a clock.
#pragma once

#include <optional>

#include "alarms/alarm_events.h"
#include "alarms/alarm_rule.h"

namespace kelvo_alarms {

class AlarmInstance {
 public:
  // One value of the rule's key at `t`: the change it caused, if any. The
  // alarm raises once the value has been past the threshold (strictly) for
  // the rule's raise delay, and clears once it has been back at or past the
  // clear level for the clear delay; a value between the two, or one that
  // goes back, restarts the delay that was running. A `t` before the start
  // of a running delay (a clock stepped back) restarts it at `t`.
  std::optional<AlarmState> Sample(const AlarmRule& rule, double value, TimePoint t);

  // A built-in alarm's condition at `t`, with no delay and no latch.
  std::optional<AlarmState> Set(bool condition, TimePoint t);

  // Acknowledged: a latched alarm leaves the list, one whose condition holds
  // is marked. None when there is nothing to acknowledge.
  std::optional<AlarmState> Acknowledge();

  // In the list: raised, or latched.
  [[nodiscard]] bool listed() const noexcept { return listed_; }
  [[nodiscard]] bool latched() const noexcept { return listed_ && !on_; }
  [[nodiscard]] bool acknowledged() const noexcept { return acknowledged_; }
  [[nodiscard]] TimePoint since() const noexcept { return since_; }
  // The value that raised it.
  [[nodiscard]] double value() const noexcept { return value_; }

 private:
  std::optional<AlarmState> Raise(double value, TimePoint t);
  std::optional<AlarmState> Clear(bool latch);

  bool on_ = false;  // raised, and its condition not yet cleared
  bool listed_ = false;
  bool acknowledged_ = false;
  std::optional<TimePoint> raising_since_;   // while not on: the condition holds since
  std::optional<TimePoint> clearing_since_;  // while on: back past the clear level since
  TimePoint since_{};
  double value_ = 0;
};

}  // namespace kelvo_alarms
