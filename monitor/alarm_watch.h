// The alarms of the unit the window polls, kept by the alarm library as the
// gateway keeps a bus's: the rules of --alarms (none without it) and the
// built-in offline and bus_down. The window feeds it what its poller sees;
// every call takes its time, so that tests drive it without waiting.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "alarms/alarm_events.h"
#include "alarms/bus_alarms.h"
#include "profile/profile_values.h"

namespace kelvo_monitor {

// Polls missed in a row before the unit counts as offline: the gateway's
// default offline_after, and the age in intervals at which the window greys
// the values on show.
inline constexpr int kOfflineAfterPolls = 3;

// One alarm in the window's list: the link's bus_down, or one of the unit's.
struct ShownAlarm {
  kelvo_alarms::ActiveAlarm alarm;
  bool bus = false;  // bus_down: it clears with the link, no acknowledgement takes it
};

[[nodiscard]] inline kelvo_alarms::TimePoint AlarmTime(const QDateTime& at) {
  return kelvo_alarms::TimePoint(std::chrono::milliseconds(at.toMSecsSinceEpoch()));
}

class AlarmWatch : public QObject {
  Q_OBJECT
 public:
  explicit AlarmWatch(QObject* parent = nullptr);
  ~AlarmWatch() override;

  // New rules: as on the gateway's reload, a rule left as it was keeps its
  // alarms, the alarms of one gone or changed clear.
  void SetRules(std::shared_ptr<const kelvo_alarms::AlarmRules> rules, kelvo_alarms::TimePoint t);
  [[nodiscard]] const std::shared_ptr<const kelvo_alarms::AlarmRules>& rules() const { return rules_; }
  // The rule named `name`; null for offline, bus_down and a name no rule has.
  [[nodiscard]] const kelvo_alarms::AlarmRule* Rule(std::string_view name) const;

  // Watches unit `address` behind `port`. Another unit than the one watched
  // starts with no alarms; the same one keeps them (a latched alarm still
  // waits for its acknowledgement).
  void Watch(const QString& port, int address);

  // What the poller saw: a round starting (whether the link is down), an
  // answer's values (none with values off: the unit is online), a poll
  // without a valid answer.
  void RoundStarted(bool link_down, kelvo_alarms::TimePoint t);
  void Answered(std::span<const kelvo_profile::ProfileValue> values, kelvo_alarms::TimePoint t);
  void Missed(kelvo_alarms::TimePoint t);

  // Acknowledges a rule's alarms (every element), "offline", or with "*" all
  // of the unit's. False for any other name.
  bool Acknowledge(std::string_view name, kelvo_alarms::TimePoint t);

  // bus_down first, then the unit's: offline, then the rules in the file's
  // order and an array's elements in order.
  [[nodiscard]] const std::vector<ShownAlarm>& active() const { return active_; }

 signals:
  // The list changed; `events` say how (none when another unit was taken up).
  void changed(const std::vector<kelvo_alarms::AlarmEvent>& events);

 private:
  void Take(const std::vector<kelvo_alarms::AlarmEvent>& events);

  std::shared_ptr<const kelvo_alarms::AlarmRules> rules_;
  std::optional<kelvo_alarms::BusAlarms> bus_;  // none until a unit is watched
  QString port_;
  int address_ = -1;
  int misses_ = 0;  // in a row, up to kOfflineAfterPolls
  std::vector<ShownAlarm> active_;
};

}  // namespace kelvo_monitor
