#include "site/site_state.h"

#include <nlohmann/json.hpp>

#include "site/iso_time.h"

namespace kelvo_site {

UnitEntry& SiteState::Unit(const UnitId& unit) {
  auto [it, fresh] = units_.try_emplace(unit);
  if (fresh) it->second.state.unit = unit;
  return it->second;
}

BusState& SiteState::Bus(const BusId& bus) {
  auto [it, fresh] = buses_.try_emplace(bus);
  if (fresh) {
    it->second.prefix = bus.first;
    it->second.bus = bus.second;
  }
  return it->second;
}

const UnitEntry* SiteState::FindUnit(const UnitId& unit) const {
  const auto it = units_.find(unit);
  return it == units_.end() ? nullptr : &it->second;
}

Answer SiteState::TakeStatus(const UnitId& unit, StatusValues status) {
  UnitEntry& entry = Unit(unit);
  std::shared_ptr<const std::vector<Slot>> slots = entry.slots;
  if (*slots != status.flat.slots)
    slots = std::make_shared<const std::vector<Slot>>(std::move(status.flat.slots));
  Answer answer{unit, status.time_ms, slots, status.flat.numbers};
  if (status.time_ms >= entry.state.last_seen_ms) {
    entry.state.last_seen_ms = status.time_ms;
    entry.state.values_json = std::move(status.values_json);
    entry.slots = std::move(slots);
    entry.numbers = std::move(status.flat.numbers);
  }
  return answer;
}

void SiteState::Merge(std::vector<UnitState> units, std::vector<BusState> buses) {
  for (UnitState& stored : units) {
    const auto [it, fresh] = units_.try_emplace(stored.unit);
    UnitEntry& entry = it->second;
    if (fresh) {
      entry.state = std::move(stored);
      FlatValues flat = FlattenValues(entry.state.values_json);
      entry.slots = std::make_shared<const std::vector<Slot>>(std::move(flat.slots));
      entry.numbers = std::move(flat.numbers);
      continue;
    }
    if (!entry.state.online) entry.state.online = stored.online;
    if (!entry.alarms_heard) entry.state.alarms_json = std::move(stored.alarms_json);
    if (stored.last_seen_ms > entry.state.last_seen_ms) {
      entry.state.last_seen_ms = stored.last_seen_ms;
      entry.state.values_json = std::move(stored.values_json);
      FlatValues flat = FlattenValues(entry.state.values_json);
      entry.slots = std::make_shared<const std::vector<Slot>>(std::move(flat.slots));
      entry.numbers = std::move(flat.numbers);
    }
  }
  for (BusState& stored : buses) {
    const auto [it, fresh] = buses_.try_emplace({stored.prefix, stored.bus}, stored);
    if (fresh) continue;
    if (it->second.bank_json == "null") it->second.bank_json = std::move(stored.bank_json);
    if (it->second.alarms_json == "[]") it->second.alarms_json = std::move(stored.alarms_json);
  }
}

std::string JsonString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string UnitJson(const UnitState& u) {
  std::string out = "{\"prefix\":" + JsonString(u.unit.prefix) + ",\"bus\":" + JsonString(u.unit.bus) +
                    ",\"address\":" + std::to_string(u.unit.address) + ",\"online\":";
  out += !u.online ? "null" : *u.online ? "true" : "false";
  out += ",\"last_seen\":";
  out += u.last_seen_ms == 0 ? "null" : "\"" + FormatIsoTime(u.last_seen_ms) + "\"";
  out += ",\"values\":" + u.values_json + ",\"alarms\":" + u.alarms_json + "}";
  return out;
}

std::string BankJson(const BusState& b) {
  return "{\"prefix\":" + JsonString(b.prefix) + ",\"bus\":" + (b.bus.empty() ? "null" : JsonString(b.bus)) +
         ",\"bank\":" + b.bank_json + ",\"alarms\":" + b.alarms_json + "}";
}

std::string UnitsJson(const SiteState& state, const std::set<UnitId>* only) {
  std::string out = "[";
  for (const auto& [id, entry] : state.units()) {
    if (only != nullptr && !only->contains(id)) continue;
    if (out.size() > 1) out += ',';
    out += UnitJson(entry.state);
  }
  return out + "]";
}

std::string BanksJson(const SiteState& state, const std::set<BusId>* only) {
  std::string out = "[";
  for (const auto& [id, bus] : state.buses()) {
    if (only != nullptr && !only->contains(id)) continue;
    if (out.size() > 1) out += ',';
    out += BankJson(bus);
  }
  return out + "]";
}

}  // namespace kelvo_site
