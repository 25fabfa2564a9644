#include "alarms/unit_alarms.h"

#include <optional>
#include <utility>

namespace kelvo_alarms {
namespace {

constexpr std::string_view kEveryAlarm = "*";

std::optional<int> ElementOf(bool array, std::size_t i) {
  if (!array) return std::nullopt;
  return static_cast<int>(i + 1);
}

}  // namespace

UnitAlarms::UnitAlarms(std::string bus, int address, std::shared_ptr<const AlarmRules> rules)
    : bus_(std::move(bus)), address_(address), rules_(std::move(rules)), states_(rules_->size()) {}

const kelvo_profile::ProfileValue* UnitAlarms::Find(std::span<const kelvo_profile::ProfileValue> values,
                                                    const AlarmRule& rule, RuleState& state) const {
  // Answers of one unit list their keys alike, so the last place is nearly
  // always right, and twenty rules cost no search.
  if (state.hint < values.size() && values[state.hint].key == rule.value) return &values[state.hint];
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i].key == rule.value) {
      state.hint = i;
      return &values[i];
    }
  }
  return nullptr;
}

void UnitAlarms::Note(std::vector<AlarmEvent>& events, const AlarmRule& rule, const RuleState& state,
                      std::size_t i, AlarmState change, double value, TimePoint t) const {
  events.push_back({t, bus_, address_, rule.name, rule.severity, change, value, rule.threshold,
                    ElementOf(state.array, i)});
}

void UnitAlarms::NoteOffline(std::vector<AlarmEvent>& events, AlarmState change, TimePoint t) const {
  events.push_back({t, bus_, address_, std::string(kOfflineAlarm), Severity::Critical, change, std::nullopt,
                    std::nullopt, std::nullopt});
}

std::vector<AlarmEvent> UnitAlarms::Evaluate(std::span<const kelvo_profile::ProfileValue> values,
                                             TimePoint t) {
  std::vector<AlarmEvent> events;
  for (std::size_t r = 0; r < rules_->size(); ++r) {
    const AlarmRule& rule = (*rules_)[r];
    RuleState& state = states_[r];
    const kelvo_profile::ProfileValue* value = Find(values, rule, state);
    if (value == nullptr) continue;
    switch (value->kind) {
      case kelvo_profile::ValueKind::Number:
        state.array = false;
        if (state.elements.empty()) state.elements.resize(1);
        if (const auto change = state.elements[0].Sample(rule, value->number, t)) {
          Note(events, rule, state, 0, *change, value->number, t);
        }
        break;
      case kelvo_profile::ValueKind::Numbers:
        state.array = true;
        if (state.elements.size() < value->numbers.size()) state.elements.resize(value->numbers.size());
        for (std::size_t i = 0; i < value->numbers.size(); ++i) {
          if (const auto change = state.elements[i].Sample(rule, value->numbers[i], t)) {
            Note(events, rule, state, i, *change, value->numbers[i], t);
          }
        }
        break;
      case kelvo_profile::ValueKind::Flags: break;  // names, never a rule's key
    }
  }
  return events;
}

std::vector<AlarmEvent> UnitAlarms::SetOffline(bool offline, TimePoint t) {
  std::vector<AlarmEvent> events;
  if (const auto change = offline_.Set(offline, t)) NoteOffline(events, *change, t);
  return events;
}

AckResult UnitAlarms::Acknowledge(std::string_view name, TimePoint t) {
  AckResult result;
  const bool every = name == kEveryAlarm;
  if (every || name == kOfflineAlarm) {
    result.known = true;
    if (offline_.Acknowledge()) NoteOffline(result.events, AlarmState::Acknowledged, t);
  }
  for (std::size_t r = 0; r < rules_->size(); ++r) {
    const AlarmRule& rule = (*rules_)[r];
    if (!every && rule.name != name) continue;
    result.known = true;
    RuleState& state = states_[r];
    for (std::size_t i = 0; i < state.elements.size(); ++i) {
      AlarmInstance& alarm = state.elements[i];
      if (alarm.Acknowledge())
        Note(result.events, rule, state, i, AlarmState::Acknowledged, alarm.value(), t);
    }
  }
  return result;
}

void UnitAlarms::ClearRule(std::vector<AlarmEvent>& events, const AlarmRule& rule, RuleState& state,
                           TimePoint t) const {
  for (std::size_t i = 0; i < state.elements.size(); ++i) {
    if (state.elements[i].listed())
      Note(events, rule, state, i, AlarmState::Cleared, state.elements[i].value(), t);
  }
  state = RuleState{};
}

std::vector<AlarmEvent> UnitAlarms::ReplaceRules(std::shared_ptr<const AlarmRules> rules, TimePoint t) {
  std::vector<AlarmEvent> events;
  std::vector<RuleState> states(rules->size());
  for (std::size_t r = 0; r < rules_->size(); ++r) {
    const AlarmRule& old_rule = (*rules_)[r];
    bool kept = false;
    for (std::size_t n = 0; n < rules->size() && !kept; ++n) {
      if ((*rules)[n].SameDefinition(old_rule)) {
        states[n] = std::move(states_[r]);
        kept = true;
      }
    }
    if (!kept) ClearRule(events, old_rule, states_[r], t);
  }
  rules_ = std::move(rules);
  states_ = std::move(states);
  return events;
}

std::vector<AlarmEvent> UnitAlarms::ClearAll(TimePoint t) {
  std::vector<AlarmEvent> events;
  if (offline_.listed()) NoteOffline(events, AlarmState::Cleared, t);
  offline_ = AlarmInstance{};
  for (std::size_t r = 0; r < rules_->size(); ++r) ClearRule(events, (*rules_)[r], states_[r], t);
  return events;
}

std::vector<ActiveAlarm> UnitAlarms::Active() const {
  std::vector<ActiveAlarm> active;
  if (offline_.listed()) {
    active.push_back({std::string(kOfflineAlarm), Severity::Critical, offline_.since(), std::nullopt,
                      std::nullopt, std::nullopt, false, offline_.acknowledged()});
  }
  for (std::size_t r = 0; r < rules_->size(); ++r) {
    const AlarmRule& rule = (*rules_)[r];
    const RuleState& state = states_[r];
    for (std::size_t i = 0; i < state.elements.size(); ++i) {
      const AlarmInstance& alarm = state.elements[i];
      if (!alarm.listed()) continue;
      active.push_back({rule.name, rule.severity, alarm.since(), alarm.value(), rule.threshold,
                        ElementOf(state.array, i), alarm.latched(), alarm.acknowledged()});
    }
  }
  return active;
}

}  // namespace kelvo_alarms
