// How the window words an alarm: what it watches, its value and threshold in
// the profile's unit, since when it stands and what it waits for.
#pragma once

#include <QDateTime>
#include <QString>

#include "alarm_watch.h"
#include "alarms/alarm_events.h"
#include "profile/profile.h"

namespace kelvo_monitor {

// One line of the alarm list; every text empty where it has nothing to say
// (offline and bus_down have no value, threshold or element).
struct AlarmLine {
  QString name;  // the rule's, offline or bus_down
  kelvo_alarms::Severity severity = kelvo_alarms::Severity::Warning;
  bool can_acknowledge = false;  // a unit's alarm not yet acknowledged, or latched
  QString watched;               // the value's name in the window's language
  QString severity_text;
  QString value;      // "3.289 V", the value that raised it
  QString threshold;  // "> 3.285 V", "< 20 %", "≠ 0"
  QString element;    // the 1-based cell or sensor
  QString since;
  QString state;
};

// `shown` in words; `rule` is its rule (null for offline and bus_down), and
// values are written in the unit and decimals `profile` gives them.
[[nodiscard]] AlarmLine LineOf(const ShownAlarm& shown, const kelvo_alarms::AlarmRule* rule,
                               const kelvo_profile::Profile* profile);

// One change, for the traffic log: "告警 cell_high 触发 (严重): 3.289 V, 阈值 > 3.285 V".
[[nodiscard]] QString EventText(const kelvo_alarms::AlarmEvent& event, const kelvo_alarms::AlarmRule* rule,
                                const kelvo_profile::Profile* profile);

[[nodiscard]] QDateTime LocalTime(kelvo_alarms::TimePoint t);

}  // namespace kelvo_monitor
