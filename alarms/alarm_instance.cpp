#include "alarms/alarm_instance.h"

namespace kelvo_alarms {
namespace {

bool Raises(const AlarmRule& rule, double value) {
  switch (rule.comparison) {
    case Comparison::Above: return value > rule.threshold;
    case Comparison::Below: return value < rule.threshold;
    case Comparison::Nonzero: return value != 0;
  }
  return false;
}

// At the clear level itself counts as back: with the default clear (the
// threshold) the alarm stands exactly while its condition holds.
bool Clears(const AlarmRule& rule, double value) {
  switch (rule.comparison) {
    case Comparison::Above: return value <= rule.clear;
    case Comparison::Below: return value >= rule.clear;
    case Comparison::Nonzero: return value == 0;
  }
  return false;
}

// Whether `since` (started now when unset, or when the clock went back
// before it) has lasted `delay` at `t`.
bool Held(std::optional<TimePoint>& since, Duration delay, TimePoint t) {
  if (!since || t < *since) since = t;
  return t - *since >= delay;
}

}  // namespace

std::optional<AlarmState> AlarmInstance::Sample(const AlarmRule& rule, double value, TimePoint t) {
  if (!on_) {
    if (!Raises(rule, value)) {
      raising_since_.reset();
      return std::nullopt;
    }
    return Held(raising_since_, rule.raise_delay, t) ? Raise(value, t) : std::nullopt;
  }
  if (!Clears(rule, value)) {
    clearing_since_.reset();
    return std::nullopt;
  }
  return Held(clearing_since_, rule.clear_delay, t) ? Clear(rule.latch) : std::nullopt;
}

std::optional<AlarmState> AlarmInstance::Set(bool condition, TimePoint t) {
  if (condition == on_) return std::nullopt;
  return condition ? Raise(0, t) : Clear(false);
}

std::optional<AlarmState> AlarmInstance::Acknowledge() {
  if (latched()) {
    listed_ = false;
    return AlarmState::Acknowledged;
  }
  if (!on_ || acknowledged_) return std::nullopt;
  acknowledged_ = true;
  return AlarmState::Acknowledged;
}

std::optional<AlarmState> AlarmInstance::Raise(double value, TimePoint t) {
  // A latched alarm whose condition returned is raised afresh.
  on_ = true;
  listed_ = true;
  acknowledged_ = false;
  raising_since_.reset();
  since_ = t;
  value_ = value;
  return AlarmState::Raised;
}

std::optional<AlarmState> AlarmInstance::Clear(bool latch) {
  on_ = false;
  clearing_since_.reset();
  // An alarm acknowledged while it stood needs no latch to be seen.
  listed_ = latch && !acknowledged_;
  acknowledged_ = false;
  return AlarmState::Cleared;
}

}  // namespace kelvo_alarms
