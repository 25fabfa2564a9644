// The alarms of one unit: every rule on its values (per element for an array
// key) and its built-in offline alarm.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alarms/alarm_events.h"
#include "alarms/alarm_instance.h"
#include "alarms/alarm_rule.h"
#include "profile/profile_values.h"

namespace kelvo_alarms {

// What an acknowledgement did. `known` is false for a name that is neither
// "*", "offline" nor a rule's, which acknowledges nothing.
struct AckResult {
  bool known = false;
  std::vector<AlarmEvent> events;
};

// Every call takes the time it happens at and returns the events it caused,
// in the order of the list; the list changes exactly when an event is
// returned. Throws only std::bad_alloc.
class UnitAlarms {
 public:
  UnitAlarms(std::string bus, int address, std::shared_ptr<const AlarmRules> rules);

  // One answer's values. A rule whose key the values lack (or an element an
  // array lacks) keeps its state as it is, running delays included.
  std::vector<AlarmEvent> Evaluate(std::span<const kelvo_profile::ProfileValue> values, TimePoint t);

  // The unit went offline (true) or answered again (false).
  std::vector<AlarmEvent> SetOffline(bool offline, TimePoint t);

  // Acknowledges the alarms of rule `name` (every element), "offline", or
  // with "*" all of them.
  AckResult Acknowledge(std::string_view name, TimePoint t);

  // New rules. A rule that is gone, or whose definition changed (anything but
  // its place in the file), is removed: its alarms in the list clear, an
  // event each, and a changed rule starts afresh. The others keep their state.
  std::vector<AlarmEvent> ReplaceRules(std::shared_ptr<const AlarmRules> rules, TimePoint t);

  // Every alarm that stands: offline first, then the rules in order and an
  // array's elements in order.
  [[nodiscard]] std::vector<ActiveAlarm> Active() const;

  // Clears every alarm in the list (an event each), for a unit taken out.
  std::vector<AlarmEvent> ClearAll(TimePoint t);

  [[nodiscard]] int address() const noexcept { return address_; }

 private:
  struct RuleState {
    std::vector<AlarmInstance> elements;  // one for a number, one per element of an array
    bool array = false;
    std::size_t hint = 0;  // where the key stood in the last values
  };

  [[nodiscard]] const kelvo_profile::ProfileValue* Find(std::span<const kelvo_profile::ProfileValue> values,
                                                        const AlarmRule& rule, RuleState& state) const;
  void Note(std::vector<AlarmEvent>& events, const AlarmRule& rule, const RuleState& state, std::size_t i,
            AlarmState change, double value, TimePoint t) const;
  void NoteOffline(std::vector<AlarmEvent>& events, AlarmState change, TimePoint t) const;
  void ClearRule(std::vector<AlarmEvent>& events, const AlarmRule& rule, RuleState& state, TimePoint t) const;

  std::string bus_;
  int address_;
  std::shared_ptr<const AlarmRules> rules_;
  std::vector<RuleState> states_;  // as rules_
  AlarmInstance offline_;
};

}  // namespace kelvo_alarms
