// The alarms of one bus: its units' (by address) and its own bus_down, so
// that a cut cable is one alarm, not one per unit. The gateway and the
// monitor drive it alike.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alarms/alarm_events.h"
#include "alarms/alarm_instance.h"
#include "alarms/alarm_rule.h"
#include "alarms/unit_alarms.h"
#include "profile/profile_values.h"

namespace kelvo_alarms {

// Every call takes the time it happens at and returns the events it caused;
// a unit's list (or the bus's) changes exactly when an event of it is
// returned. Units are known from their first answer or miss. Throws only
// std::bad_alloc.
class BusAlarms {
 public:
  // `offline_after` (at least 1): rounds the link must be down before
  // bus_down is raised, as a unit goes offline after that many misses.
  BusAlarms(std::string bus, std::shared_ptr<const AlarmRules> rules, int offline_after);

  // One polling round, told before its answers and misses: whether the link
  // is down. bus_down is raised in the `offline_after`th round in a row with
  // the link down, and cleared in the first round with it up.
  std::vector<AlarmEvent> Round(bool link_down, TimePoint t);

  // A unit answered: it is online again (its offline alarm clears) and its
  // values are evaluated.
  std::vector<AlarmEvent> Answered(int address, std::span<const kelvo_profile::ProfileValue> values,
                                   TimePoint t);

  // A unit went offline (it missed `offline_after` answers). While the link
  // is down its offline alarm is not raised: bus_down says it for all. If the
  // unit has still not answered once the link has been up again for
  // `offline_after` rounds, its offline alarm is raised then.
  std::vector<AlarmEvent> WentOffline(int address, TimePoint t);

  // The payload of {prefix}/{bus}/{address}/alarms/ack for unit `address`.
  AckResult Acknowledge(int address, std::string_view name, TimePoint t);

  // New rules for every unit, as UnitAlarms::ReplaceRules.
  std::vector<AlarmEvent> ReplaceRules(std::shared_ptr<const AlarmRules> rules, TimePoint t);
  void SetOfflineAfter(int rounds) noexcept;

  // A unit taken out of the bus: its alarms clear, an event each.
  std::vector<AlarmEvent> Forget(int address, TimePoint t);

  // A unit's list (empty for one not known), and the bus's own.
  [[nodiscard]] std::vector<ActiveAlarm> Active(int address) const;
  [[nodiscard]] std::vector<ActiveAlarm> BusActive() const;

  [[nodiscard]] const std::string& bus() const noexcept { return bus_; }
  [[nodiscard]] const std::map<int, UnitAlarms>& units() const noexcept { return units_; }

 private:
  UnitAlarms& Unit(int address);
  void NoteBusDown(std::vector<AlarmEvent>& events, AlarmState change, TimePoint t) const;

  std::string bus_;
  std::shared_ptr<const AlarmRules> rules_;
  int offline_after_;
  std::map<int, UnitAlarms> units_;
  bool link_down_ = false;
  int down_rounds_ = 0;
  int up_rounds_ = 0;   // since the link came back, while units wait in held_
  std::set<int> held_;  // went offline while the link was down, not raised
  AlarmInstance bus_down_;
};

}  // namespace kelvo_alarms
