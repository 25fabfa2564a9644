// The latest state of every unit and bus the site has heard of, kept in
// memory on the event loop (filled from the store at start), and the JSON the
// API and the live page show of it.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "site/status_values.h"
#include "site/store/store.h"

namespace kelvo_site {

using BusId = std::pair<std::string, std::string>;  // prefix, bus ("" for the site)

struct UnitEntry {
  UnitState state;
  // The latest answer's numbers, for /metrics; the layout shared with the answers stored.
  std::shared_ptr<const std::vector<Slot>> slots = std::make_shared<const std::vector<Slot>>();
  std::vector<double> numbers;
  bool alarms_heard = false;  // since the start: then the stored list is older
};

class SiteState {
 public:
  // The entry of `unit`, made (unknown, never seen) when there is none.
  UnitEntry& Unit(const UnitId& unit);
  BusState& Bus(const BusId& bus);
  [[nodiscard]] const UnitEntry* FindUnit(const UnitId& unit) const;

  // Takes a status: the answer to store (its slots shared with the unit's
  // previous answer when they are the same); the latest values change only
  // when it is not older than those shown.
  Answer TakeStatus(const UnitId& unit, StatusValues status);

  // State read back from the store; what the broker has already said since
  // the start wins.
  void Merge(std::vector<UnitState> units, std::vector<BusState> buses);

  [[nodiscard]] const std::map<UnitId, UnitEntry>& units() const { return units_; }
  [[nodiscard]] const std::map<BusId, BusState>& buses() const { return buses_; }

 private:
  std::map<UnitId, UnitEntry> units_;
  std::map<BusId, BusState> buses_;
};

// `text` as a JSON string.
[[nodiscard]] std::string JsonString(const std::string& text);
// One /api/units entry and one /api/banks entry.
[[nodiscard]] std::string UnitJson(const UnitState& unit);
[[nodiscard]] std::string BankJson(const BusState& bus);
// Arrays of them: all, or only those named.
[[nodiscard]] std::string UnitsJson(const SiteState& state, const std::set<UnitId>* only = nullptr);
[[nodiscard]] std::string BanksJson(const SiteState& state, const std::set<BusId>* only = nullptr);

}  // namespace kelvo_site
