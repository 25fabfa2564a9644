#include "site/store/tiered_store.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "site/store/history_step.h"

namespace kelvo_site {
namespace {

constexpr std::int64_t kMinuteMs = 60'000;
constexpr std::int64_t kHourMs = 3'600'000;
constexpr std::int64_t kDayMs = 24 * kHourMs;
// Beyond this many distinct slot vectors seen, the address cache starts
// again: a writer that does not share its slots must not grow it for ever.
constexpr std::size_t kMostCachedSlotVectors = 4096;
constexpr std::size_t kNoSlot = std::numeric_limits<std::size_t>::max();

std::string Name(const UnitId& unit) {
  return unit.prefix + "/" + unit.bus + "/" + std::to_string(unit.address);
}

void Accumulate(std::vector<SlotStats>& stats, const std::vector<double>& numbers) {
  if (stats.size() < numbers.size()) stats.resize(numbers.size());
  for (std::size_t i = 0; i < numbers.size(); ++i) stats[i].Add(numbers[i]);
}

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  return a > std::numeric_limits<std::int64_t>::max() - b ? std::numeric_limits<std::int64_t>::max() : a + b;
}

// Points of one step, fed in time order.
class Buckets {
 public:
  explicit Buckets(std::int64_t step_ms) : step_ms_(step_ms) {}

  void Add(std::int64_t time_ms, const SlotStats& stats) {
    if (stats.count == 0) return;
    const std::int64_t start = IntervalStart(time_ms, step_ms_);
    if (start != start_ms_) Flush();
    start_ms_ = start;
    current_.Merge(stats);
  }

  std::vector<Point> Take() {
    Flush();
    return std::move(points_);
  }

 private:
  void Flush() {
    if (current_.count > 0) {
      points_.push_back({start_ms_, current_.sum / current_.count, current_.min, current_.max});
    }
    current_ = {};
  }

  std::int64_t step_ms_;
  std::int64_t start_ms_ = 0;
  SlotStats current_;
  std::vector<Point> points_;
};

}  // namespace

void TieredStore::Write(const Batch& batch) {
  if (batch.empty()) return;
  Begin();
  try {
    if (!batch.events.empty()) InsertEvents(batch.events);
    if (!batch.availability.empty()) {
      std::vector<std::pair<std::int64_t, AvailabilityChange>> changes;
      changes.reserve(batch.availability.size());
      for (const AvailabilityChange& change : batch.availability)
        changes.emplace_back(UnitRow(change.unit), change);
      InsertAvailability(changes);
    }
    if (!batch.units.empty()) ReplaceUnits(batch.units);
    if (!batch.buses.empty()) ReplaceBuses(batch.buses);
    if (!batch.answers.empty()) WriteAnswers(batch.answers);
    Commit();
  } catch (...) {
    Rollback();
    // Ids handed out inside the transaction are gone with it.
    ForgetCaches();
    throw;
  }
}

void TieredStore::WriteAnswers(const std::vector<Answer>& answers) {
  std::vector<RawRow> rows;
  rows.reserve(answers.size());
  for (const Answer& answer : answers) {
    const std::size_t slots = answer.slots ? answer.slots->size() : 0;
    if (slots != answer.numbers.size()) {
      throw StoreError{"an answer of " + Name(answer.unit) + " has " + std::to_string(answer.numbers.size()) +
                       " numbers for " + std::to_string(slots) + " slots"};
    }
    rows.push_back(
        {UnitRow(answer.unit), answer.time_ms, LayoutRow(answer.slots), PackNumbers(answer.numbers)});
  }
  const std::vector<bool> stored = InsertRaw(rows);
  std::map<RollupKey, std::vector<SlotStats>> minutes;
  std::map<RollupKey, std::vector<SlotStats>> hours;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!stored[i]) continue;
    const RawRow& row = rows[i];
    Accumulate(minutes[{row.unit, IntervalStart(row.time_ms, kMinuteMs), row.layout}], answers[i].numbers);
    Accumulate(hours[{row.unit, IntervalStart(row.time_ms, kHourMs), row.layout}], answers[i].numbers);
  }
  MergeRollups(Table::Minute, minutes);
  MergeRollups(Table::Hour, hours);
}

void TieredStore::MergeRollups(Table table, const std::map<RollupKey, std::vector<SlotStats>>& fresh) {
  if (fresh.empty()) return;
  // A unit's open minute and hour are met again in the next batch: what this
  // store wrote there is known, so only the others are read back.
  RollupCache& cache = table == Table::Hour ? hour_cache_ : minute_cache_;
  std::vector<RollupKey> unknown;
  for (const auto& entry : fresh)
    if (!cache.contains(entry.first)) unknown.push_back(entry.first);
  const RollupRows stored = unknown.empty() ? RollupRows{} : LoadRollups(table, unknown);
  for (const auto& [key, bytes] : stored)
    cache[key] = UnpackStats({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  RollupRows merged;
  std::int64_t newest_ms = std::numeric_limits<std::int64_t>::min();
  for (const auto& [key, stats] : fresh) {
    std::vector<SlotStats>& sum = cache[key];
    if (sum.size() < stats.size()) sum.resize(stats.size());
    for (std::size_t i = 0; i < stats.size(); ++i) sum[i].Merge(stats[i]);
    merged.emplace(key, PackStats(sum));
    newest_ms = std::max(newest_ms, key.start_ms);
  }
  SaveRollups(table, merged);
  // Intervals before the newest one written are closed but for late answers.
  const std::int64_t keep_from = newest_ms - (table == Table::Hour ? kHourMs : kMinuteMs);
  std::erase_if(cache, [keep_from](const auto& entry) { return entry.first.start_ms < keep_from; });
}

std::vector<Point> TieredStore::History(const HistoryQuery& query) {
  std::optional<std::int64_t> unit;
  if (const auto known = unit_rows_.find(query.unit); known != unit_rows_.end()) {
    unit = known->second;
  } else {
    unit = FindUnit(query.unit);
  }
  if (!unit || query.to_ms < query.from_ms || query.step_s < 0) return {};

  // Where the slot sits in each layout met on the way.
  std::map<std::int64_t, std::size_t> index_in;
  auto index_of = [&](std::int64_t layout) {
    auto found = index_in.find(layout);
    if (found != index_in.end()) return found->second;
    const auto& slots = *Layout(layout);
    const auto at = std::find(slots.begin(), slots.end(), query.slot);
    const std::size_t index = at == slots.end() ? kNoSlot : static_cast<std::size_t>(at - slots.begin());
    index_in.emplace(layout, index);
    return index;
  };

  const HistoryTier tier = TierForStep(query.step_s);
  if (query.step_s == 0) {
    std::vector<Point> points;
    ScanRows(Table::Raw, *unit, query.from_ms, query.to_ms,
             [&](std::int64_t time_ms, std::int64_t layout, std::span<const std::uint8_t> numbers) {
               const std::size_t index = index_of(layout);
               if (index == kNoSlot) return true;
               const double value = PackedNumber(numbers, index);
               if (!std::isnan(value)) points.push_back({time_ms, value, value, value});
               return true;
             });
    return points;
  }

  // Whole intervals of the step, over every interval the range touches.
  const std::int64_t step_ms = std::int64_t{query.step_s} * 1000;
  const std::int64_t from_ms = IntervalStart(query.from_ms, step_ms);
  const std::int64_t to_ms = SaturatingAdd(IntervalStart(query.to_ms, step_ms), step_ms - 1);
  Buckets buckets(step_ms);
  if (tier == HistoryTier::Raw) {
    ScanRows(Table::Raw, *unit, from_ms, to_ms,
             [&](std::int64_t time_ms, std::int64_t layout, std::span<const std::uint8_t> numbers) {
               const std::size_t index = index_of(layout);
               if (index == kNoSlot) return true;
               SlotStats one;
               one.Add(PackedNumber(numbers, index));
               buckets.Add(time_ms, one);
               return true;
             });
  } else {
    ScanRows(tier == HistoryTier::Hour ? Table::Hour : Table::Minute, *unit, from_ms, to_ms,
             [&](std::int64_t start_ms, std::int64_t layout, std::span<const std::uint8_t> stats) {
               const std::size_t index = index_of(layout);
               if (index != kNoSlot) buckets.Add(start_ms, PackedStats(stats, index));
               return true;
             });
  }
  return buckets.Take();
}

void TieredStore::Events(std::int64_t from_ms, std::int64_t to_ms, const std::optional<std::string>& prefix,
                         const std::optional<std::string>& bus, const std::optional<int>& address,
                         const std::function<bool(const Event&)>& each) {
  if (to_ms < from_ms) return;
  ScanEvents(from_ms, to_ms, prefix, bus, address, each);
}

void TieredStore::Answers(const UnitId& unit, std::int64_t from_ms, std::int64_t to_ms,
                          const std::function<bool(const Answer&)>& each) {
  const std::optional<std::int64_t> row = FindUnit(unit);
  if (!row || to_ms < from_ms) return;
  ScanRows(Table::Raw, *row, from_ms, to_ms,
           [&](std::int64_t time_ms, std::int64_t layout, std::span<const std::uint8_t> numbers) {
             return each(Answer{unit, time_ms, Layout(layout), UnpackNumbers(numbers)});
           });
}

void TieredStore::Prune(std::int64_t now_ms) {
  // Events and availability changes follow the minute tier: the page shows
  // them beside the minute history, and a site with a chatty unit would
  // otherwise grow without bound. The hour tier alone is kept for ever.
  const std::int64_t minutes_before = now_ms - std::int64_t{retention_.minute_days} * kDayMs;
  Begin();
  try {
    DeleteBefore(Table::Raw, now_ms - std::int64_t{retention_.raw_hours} * kHourMs);
    DeleteBefore(Table::Minute, minutes_before);
    DeleteEventsBefore(minutes_before);
    Commit();
  } catch (...) {
    Rollback();
    throw;
  }
}

std::int64_t TieredStore::UnitRow(const UnitId& unit) {
  if (const auto known = unit_rows_.find(unit); known != unit_rows_.end()) return known->second;
  std::optional<std::int64_t> row = FindUnit(unit);
  if (!row) row = InsertUnit(unit);
  unit_rows_.emplace(unit, *row);
  return *row;
}

std::int64_t TieredStore::LayoutRow(const std::shared_ptr<const std::vector<Slot>>& slots) {
  static const auto kNoSlots = std::make_shared<const std::vector<Slot>>();
  const auto& held = slots ? slots : kNoSlots;
  if (const auto known = layout_by_slots_.find(held.get()); known != layout_by_slots_.end()) {
    if (known->second.first.lock() == held) return known->second.second;
  }
  const std::string text = EncodeLayout(*held);
  std::int64_t id = 0;
  if (const auto known = layout_by_text_.find(text); known != layout_by_text_.end()) {
    id = known->second;
  } else {
    std::optional<std::int64_t> found = FindLayout(text);
    id = found ? *found : InsertLayout(text);
    layout_by_text_.emplace(text, id);
  }
  if (layout_by_slots_.size() >= kMostCachedSlotVectors) layout_by_slots_.clear();
  layout_by_slots_[held.get()] = {held, id};
  layouts_.try_emplace(id, held);
  return id;
}

const std::shared_ptr<const std::vector<Slot>>& TieredStore::Layout(std::int64_t id) {
  if (const auto known = layouts_.find(id); known != layouts_.end()) return known->second;
  std::optional<std::vector<Slot>> slots = DecodeLayout(LoadLayout(id));
  if (!slots) throw StoreError{"layout " + std::to_string(id) + " of the store is damaged"};
  return layouts_.emplace(id, std::make_shared<const std::vector<Slot>>(std::move(*slots))).first->second;
}

void TieredStore::ForgetCaches() {
  minute_cache_.clear();
  hour_cache_.clear();
  unit_rows_.clear();
  layout_by_slots_.clear();
  layout_by_text_.clear();
  layouts_.clear();
}

}  // namespace kelvo_site
