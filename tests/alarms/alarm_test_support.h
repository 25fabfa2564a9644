// Rules from TOML text against the default profile, and events and lists in
// a word, so that a test's table reads like what happened.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <span>
#include <sstream>
#include <string>

#include "alarms/alarm_events.h"
#include "alarms/alarm_rule_reader.h"
#include "profile/profile.h"

namespace alarms_test {

inline const kelvo_profile::Profile& DefaultProfile() {
  static const kelvo_profile::Profile profile = [] {
    kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile(KVZ_DEFAULT_PROFILE);
    if (!load.profile) std::abort();
    return std::move(*load.profile);
  }();
  return profile;
}

// The rules of `text`; empty (and the test failed) when they are refused.
inline std::shared_ptr<const kelvo_alarms::AlarmRules> Rules(const std::string& text) {
  kelvo_alarms::AlarmRulesLoad load = kelvo_alarms::ParseAlarmRules(text, "alarms.toml", &DefaultProfile());
  if (!load.rules) {
    ADD_FAILURE() << load.error->text;
    return std::make_shared<const kelvo_alarms::AlarmRules>();
  }
  return std::make_shared<const kelvo_alarms::AlarmRules>(std::move(*load.rules));
}

// Seconds after a fixed start.
inline kelvo_alarms::TimePoint At(double seconds) {
  return kelvo_alarms::TimePoint(std::chrono::seconds(1'800'000'000)) +
         std::chrono::round<kelvo_alarms::Duration>(std::chrono::duration<double>(seconds));
}

inline double SecondsOf(kelvo_alarms::TimePoint t) {
  return std::chrono::duration<double>(t - At(0)).count();
}

// "raised cell_high 3.61 #2; cleared offline -": state, name, value (- for
// none), element.
inline std::string Describe(std::span<const kelvo_alarms::AlarmEvent> events) {
  std::ostringstream out;
  for (const kelvo_alarms::AlarmEvent& e : events) {
    if (out.tellp() > 0) out << "; ";
    out << kelvo_alarms::AlarmStateName(e.state) << " " << e.name << " ";
    if (e.value)
      out << *e.value;
    else
      out << "-";
    if (e.element) out << " #" << *e.element;
  }
  return out.str();
}

// "cell_high 3.61 #2 @5 latched acked": name, value, element, since (seconds),
// flags.
inline std::string Describe(std::span<const kelvo_alarms::ActiveAlarm> active) {
  std::ostringstream out;
  for (const kelvo_alarms::ActiveAlarm& a : active) {
    if (out.tellp() > 0) out << "; ";
    out << a.name << " ";
    if (a.value)
      out << *a.value;
    else
      out << "-";
    if (a.element) out << " #" << *a.element;
    out << " @" << SecondsOf(a.since);
    if (a.latched) out << " latched";
    if (a.acknowledged) out << " acked";
  }
  return out.str();
}

}  // namespace alarms_test
