#include "alarm_watch.h"

#include <utility>

#include "alarm_rules_file.h"

namespace kelvo_monitor {

AlarmWatch::AlarmWatch(QObject* parent) : QObject(parent), rules_(NoAlarmRules()) {}

AlarmWatch::~AlarmWatch() = default;

void AlarmWatch::SetRules(std::shared_ptr<const kelvo_alarms::AlarmRules> rules, kelvo_alarms::TimePoint t) {
  rules_ = std::move(rules);
  if (bus_) Take(bus_->ReplaceRules(rules_, t));
}

const kelvo_alarms::AlarmRule* AlarmWatch::Rule(std::string_view name) const {
  for (const kelvo_alarms::AlarmRule& rule : *rules_) {
    if (rule.name == name) return &rule;
  }
  return nullptr;
}

void AlarmWatch::Watch(const QString& port, int address) {
  if (bus_ && port == port_ && address == address_) return;
  port_ = port;
  address_ = address;
  misses_ = 0;
  bus_.emplace(port.toStdString(), rules_, kOfflineAfterPolls);
  if (active_.empty()) return;
  active_.clear();
  emit changed({});
}

void AlarmWatch::RoundStarted(bool link_down, kelvo_alarms::TimePoint t) {
  if (bus_) Take(bus_->Round(link_down, t));
}

void AlarmWatch::Answered(std::span<const kelvo_profile::ProfileValue> values, kelvo_alarms::TimePoint t) {
  if (!bus_) return;
  misses_ = 0;
  Take(bus_->Answered(address_, values, t));
}

void AlarmWatch::Missed(kelvo_alarms::TimePoint t) {
  // Said once an outage, as the gateway counts a unit offline once.
  if (!bus_ || misses_ >= kOfflineAfterPolls || ++misses_ < kOfflineAfterPolls) return;
  Take(bus_->WentOffline(address_, t));
}

bool AlarmWatch::Acknowledge(std::string_view name, kelvo_alarms::TimePoint t) {
  if (!bus_) return name == "*" || name == kelvo_alarms::kOfflineAlarm || Rule(name);
  kelvo_alarms::AckResult result = bus_->Acknowledge(address_, name, t);
  Take(result.events);
  return result.known;
}

void AlarmWatch::Take(const std::vector<kelvo_alarms::AlarmEvent>& events) {
  // The library's lists change exactly when it returns events.
  if (events.empty()) return;
  active_.clear();
  for (kelvo_alarms::ActiveAlarm& alarm : bus_->BusActive()) active_.push_back({std::move(alarm), true});
  for (kelvo_alarms::ActiveAlarm& alarm : bus_->Active(address_))
    active_.push_back({std::move(alarm), false});
  emit changed(events);
}

}  // namespace kelvo_monitor
