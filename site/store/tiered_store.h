// What both engines share: the layouts, the minute and hour aggregates kept
// exactly on every Write (late answers and restarts merge into the stored
// row), history from the right tier, retention. An engine supplies only its
// SQL, through the primitives below; every primitive throws StoreError.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "site/store/packed_numbers.h"
#include "site/store/store.h"

namespace kelvo_site {

enum class Table { Raw, Minute, Hour };

// One stored answer.
struct RawRow {
  std::int64_t unit = 0;
  std::int64_t time_ms = 0;
  std::int64_t layout = 0;
  std::string numbers;  // PackNumbers
};

// One row of the minute or hour tier. A unit whose layout changes within an
// interval has one row per layout there.
struct RollupKey {
  std::int64_t unit = 0;
  std::int64_t start_ms = 0;
  std::int64_t layout = 0;

  bool operator==(const RollupKey&) const = default;
  bool operator<(const RollupKey& o) const {
    return std::tie(unit, start_ms, layout) < std::tie(o.unit, o.start_ms, o.layout);
  }
};

using RollupRows = std::map<RollupKey, std::string>;  // key -> PackStats
using RowVisitor =
    std::function<bool(std::int64_t time_ms, std::int64_t layout, std::span<const std::uint8_t>)>;

class TieredStore : public Store {
 public:
  explicit TieredStore(const Retention& retention) : retention_(retention) {}

  void Write(const Batch& batch) final;
  [[nodiscard]] std::vector<Point> History(const HistoryQuery& query) final;
  void Events(std::int64_t from_ms, std::int64_t to_ms, const std::optional<std::string>& prefix,
              const std::optional<std::string>& bus, const std::optional<int>& address,
              const std::function<bool(const Event&)>& each) final;
  void Answers(const UnitId& unit, std::int64_t from_ms, std::int64_t to_ms,
               const std::function<bool(const Answer&)>& each) final;
  void Prune(std::int64_t now_ms) final;

 protected:
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  // Never throws: called while a fault is already on its way.
  virtual void Rollback() noexcept = 0;

  [[nodiscard]] virtual std::optional<std::int64_t> FindUnit(const UnitId& unit) = 0;
  [[nodiscard]] virtual std::int64_t InsertUnit(const UnitId& unit) = 0;
  [[nodiscard]] virtual std::optional<std::int64_t> FindLayout(const std::string& text) = 0;
  [[nodiscard]] virtual std::int64_t InsertLayout(const std::string& text) = 0;
  [[nodiscard]] virtual std::string LoadLayout(std::int64_t id) = 0;

  // Stores the rows whose (unit, time) is new; true for each row stored, so
  // that an answer replayed twice is counted once.
  [[nodiscard]] virtual std::vector<bool> InsertRaw(const std::vector<RawRow>& rows) = 0;
  // The stored rows of these keys (Table::Minute or Table::Hour), where present.
  [[nodiscard]] virtual RollupRows LoadRollups(Table table, const std::vector<RollupKey>& keys) = 0;
  virtual void SaveRollups(Table table, const RollupRows& rows) = 0;
  virtual void InsertEvents(const std::vector<Event>& events) = 0;
  virtual void InsertAvailability(
      const std::vector<std::pair<std::int64_t, AvailabilityChange>>& changes) = 0;
  virtual void ReplaceUnits(const std::vector<UnitState>& units) = 0;
  virtual void ReplaceBuses(const std::vector<BusState>& buses) = 0;

  // Rows of one unit with time (raw) or start (tiers) in [from_ms, to_ms],
  // ordered by it, until `each` returns false.
  virtual void ScanRows(Table table, std::int64_t unit, std::int64_t from_ms, std::int64_t to_ms,
                        const RowVisitor& each) = 0;
  virtual void ScanEvents(std::int64_t from_ms, std::int64_t to_ms, const std::optional<std::string>& prefix,
                          const std::optional<std::string>& bus, const std::optional<int>& address,
                          const std::function<bool(const Event&)>& each) = 0;

  // Drops rows of `table` with time (start) before `before_ms`.
  virtual void DeleteBefore(Table table, std::int64_t before_ms) = 0;
  // Drops events and availability changes before `before_ms`.
  virtual void DeleteEventsBefore(std::int64_t before_ms) = 0;

 private:
  [[nodiscard]] std::int64_t UnitRow(const UnitId& unit);
  [[nodiscard]] std::int64_t LayoutRow(const std::shared_ptr<const std::vector<Slot>>& slots);
  [[nodiscard]] const std::shared_ptr<const std::vector<Slot>>& Layout(std::int64_t id);
  void WriteAnswers(const std::vector<Answer>& answers);
  void MergeRollups(Table table, const std::map<RollupKey, std::vector<SlotStats>>& fresh);
  void ForgetCaches();

  Retention retention_;
  std::map<UnitId, std::int64_t> unit_rows_;
  // By the address of an answer's shared slots, checked against the weak
  // pointer so that a freed and reused address is not taken for the old one.
  std::map<const void*, std::pair<std::weak_ptr<const std::vector<Slot>>, std::int64_t>> layout_by_slots_;
  std::map<std::string, std::int64_t> layout_by_text_;
  std::map<std::int64_t, std::shared_ptr<const std::vector<Slot>>> layouts_;
  // The rows of the open intervals as this store last wrote them: one
  // kelvo-site writes a store, so they are what the store holds.
  using RollupCache = std::map<RollupKey, std::vector<SlotStats>>;
  RollupCache minute_cache_;
  RollupCache hour_cache_;
};

}  // namespace kelvo_site
