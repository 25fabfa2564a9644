#include "alarms/bus_alarms.h"

#include <algorithm>
#include <utility>

namespace kelvo_alarms {
namespace {

void Append(std::vector<AlarmEvent>& events, std::vector<AlarmEvent> more) {
  if (events.empty()) {
    events = std::move(more);
  } else {
    events.insert(events.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  }
}

}  // namespace

BusAlarms::BusAlarms(std::string bus, std::shared_ptr<const AlarmRules> rules, int offline_after)
    : bus_(std::move(bus)), rules_(std::move(rules)), offline_after_(std::max(1, offline_after)) {}

UnitAlarms& BusAlarms::Unit(int address) {
  const auto found = units_.find(address);
  if (found != units_.end()) return found->second;
  return units_.try_emplace(address, bus_, address, rules_).first->second;
}

void BusAlarms::NoteBusDown(std::vector<AlarmEvent>& events, AlarmState change, TimePoint t) const {
  events.push_back({t, bus_, std::nullopt, std::string(kBusDownAlarm), Severity::Critical, change,
                    std::nullopt, std::nullopt, std::nullopt});
}

std::vector<AlarmEvent> BusAlarms::Round(bool link_down, TimePoint t) {
  std::vector<AlarmEvent> events;
  link_down_ = link_down;
  if (link_down) {
    up_rounds_ = 0;
    down_rounds_ = std::min(down_rounds_ + 1, offline_after_);
    if (down_rounds_ >= offline_after_) {
      if (const auto change = bus_down_.Set(true, t)) NoteBusDown(events, *change, t);
    }
    return events;
  }
  down_rounds_ = 0;
  if (const auto change = bus_down_.Set(false, t)) NoteBusDown(events, *change, t);
  if (!held_.empty() && ++up_rounds_ >= offline_after_) {
    for (const int address : held_) Append(events, Unit(address).SetOffline(true, t));
    held_.clear();
  }
  return events;
}

std::vector<AlarmEvent> BusAlarms::Answered(int address, std::span<const kelvo_profile::ProfileValue> values,
                                            TimePoint t) {
  held_.erase(address);
  UnitAlarms& unit = Unit(address);
  std::vector<AlarmEvent> events = unit.SetOffline(false, t);
  Append(events, unit.Evaluate(values, t));
  return events;
}

std::vector<AlarmEvent> BusAlarms::WentOffline(int address, TimePoint t) {
  if (link_down_) {
    Unit(address);
    held_.insert(address);
    return {};
  }
  return Unit(address).SetOffline(true, t);
}

AckResult BusAlarms::Acknowledge(int address, std::string_view name, TimePoint t) {
  const auto found = units_.find(address);
  // A unit not known has nothing to acknowledge, but the name is judged alike.
  if (found == units_.end()) return UnitAlarms(bus_, address, rules_).Acknowledge(name, t);
  return found->second.Acknowledge(name, t);
}

std::vector<AlarmEvent> BusAlarms::ReplaceRules(std::shared_ptr<const AlarmRules> rules, TimePoint t) {
  rules_ = std::move(rules);
  std::vector<AlarmEvent> events;
  for (auto& [address, unit] : units_) Append(events, unit.ReplaceRules(rules_, t));
  return events;
}

void BusAlarms::SetOfflineAfter(int rounds) noexcept {
  offline_after_ = std::max(1, rounds);
  down_rounds_ = std::min(down_rounds_, offline_after_);
}

std::vector<AlarmEvent> BusAlarms::Forget(int address, TimePoint t) {
  held_.erase(address);
  const auto found = units_.find(address);
  if (found == units_.end()) return {};
  std::vector<AlarmEvent> events = found->second.ClearAll(t);
  units_.erase(found);
  return events;
}

std::vector<ActiveAlarm> BusAlarms::Active(int address) const {
  const auto found = units_.find(address);
  return found == units_.end() ? std::vector<ActiveAlarm>{} : found->second.Active();
}

std::vector<ActiveAlarm> BusAlarms::BusActive() const {
  if (!bus_down_.listed()) return {};
  return {{std::string(kBusDownAlarm), Severity::Critical, bus_down_.since(), std::nullopt, std::nullopt,
           std::nullopt, false, bus_down_.acknowledged()}};
}

}  // namespace kelvo_alarms
