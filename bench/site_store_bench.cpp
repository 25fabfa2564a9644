// The site store's SQLite engine at site scale: what a Write costs per
// answer (batches of 1,000 answers of 50 numbers, as 1,000 units answering
// once a second give), History of one slot over one unit-day beside a plain
// query of the same rows (the floor), and what a unit-day costs on disk in
// each tier.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "site/store/history_step.h"
#include "site/store/packed_numbers.h"
#include "site/store/store.h"

namespace {

using kelvo_site::Answer;
using kelvo_site::Batch;
using kelvo_site::Slot;

constexpr std::int64_t kStart = 1'796'774'400'000;  // 2026-12-09T00:00:00Z
constexpr int kUnitDay = 86'400;                    // answers of one unit, one a second

// 16 cells, 4 sensors and 30 scalars: 50 numbers.
std::shared_ptr<const std::vector<Slot>> FiftySlots() {
  auto slots = std::make_shared<std::vector<Slot>>();
  for (int cell = 1; cell <= 16; ++cell) slots->push_back({"cell_voltages", cell});
  for (int sensor = 1; sensor <= 4; ++sensor) slots->push_back({"temperatures", sensor});
  slots->push_back({"total_voltage", 0});
  for (int scalar = 1; slots->size() < 50; ++scalar)
    slots->push_back({"scalar_" + std::to_string(scalar), 0});
  return slots;
}

Answer MakeAnswer(const kelvo_site::UnitId& unit, std::int64_t time_ms,
                  const std::shared_ptr<const std::vector<Slot>>& slots) {
  std::vector<double> numbers(slots->size());
  const double phase = static_cast<double>(time_ms / 1000 % 3600) / 3600.0;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    numbers[i] = 3.3 + 0.1 * std::sin(phase * 6.283 + static_cast<double>(i));
  }
  return {unit, time_ms, slots, std::move(numbers)};
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/kvz-store-bench-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  [[nodiscard]] std::string Db() const { return path_ + "/site.db"; }

 private:
  std::string path_;
};

// One unit's day of answers, written as the service would: batches of 1,000.
void WriteUnitDay(kelvo_site::Store& store, const kelvo_site::UnitId& unit) {
  const auto slots = FiftySlots();
  for (int second = 0; second < kUnitDay; second += 1000) {
    Batch batch;
    for (int i = second; i < std::min(kUnitDay, second + 1000); ++i) {
      batch.answers.push_back(MakeAnswer(unit, kStart + std::int64_t{i} * 1000, slots));
    }
    store.Write(batch);
  }
}

void BM_SqliteWritePerAnswer(benchmark::State& state) {
  TempDir dir;
  auto store = kelvo_site::OpenStore("sqlite://" + dir.Db(), "", {});
  const auto slots = FiftySlots();
  std::int64_t time_ms = kStart;
  for (auto _ : state) {
    state.PauseTiming();
    Batch batch;
    for (int unit = 0; unit < 1000; ++unit)
      batch.answers.push_back(MakeAnswer({"kelvo", "rack", unit}, time_ms, slots));
    time_ms += 1000;
    state.ResumeTiming();
    store->Write(batch);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
  state.counters["us_per_answer"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 1000 * 1e-6,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SqliteWritePerAnswer)->Unit(benchmark::kMillisecond)->MinTime(3);

// The plain query the store's History is measured against: the same rows,
// decoding only the one number (raw) or the one slot's aggregate (a tier),
// prepared once, on a connection with the store's cache size.
class PlainQuery {
 public:
  PlainQuery(const std::string& path, bool raw, std::size_t slot, int step_s)
      : raw_(raw), slot_(slot), step_ms_(std::int64_t{step_s} * 1000) {
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(db_, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
    const char* sql = raw ? "SELECT time_ms, numbers FROM answer WHERE unit = 1 AND time_ms BETWEEN ? AND ?"
                            " ORDER BY time_ms"
                          : "SELECT start_ms, stats FROM minute WHERE unit = 1 AND start_ms BETWEEN ? AND ?"
                            " ORDER BY start_ms";
    sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr);
  }
  ~PlainQuery() {
    sqlite3_finalize(stmt_);
    sqlite3_close(db_);
  }
  PlainQuery(const PlainQuery&) = delete;
  PlainQuery& operator=(const PlainQuery&) = delete;

  double Run() {
    sqlite3_reset(stmt_);
    sqlite3_bind_int64(stmt_, 1, kStart);
    sqlite3_bind_int64(stmt_, 2, kStart + std::int64_t{kUnitDay} * 1000 - 1);
    double sum = 0;
    std::int64_t buckets = 0;
    while (sqlite3_step(stmt_) == SQLITE_ROW) {
      const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, 1));
      const std::span<const std::uint8_t> bytes(blob,
                                                static_cast<std::size_t>(sqlite3_column_bytes(stmt_, 1)));
      sum += raw_ ? kelvo_site::PackedNumber(bytes, slot_) : kelvo_site::PackedStats(bytes, slot_).sum;
      buckets += sqlite3_column_int64(stmt_, 0) / step_ms_;
    }
    return sum + static_cast<double>(buckets);
  }

 private:
  bool raw_;
  std::size_t slot_;
  std::int64_t step_ms_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// History of cell 3 over the day, at `step` (60: minute tier; 30: from the
// raw answers), each iteration timing History and the plain query in turn.
void BM_HistoryOverPlainQuery(benchmark::State& state) {
  const int step_s = static_cast<int>(state.range(0));
  TempDir dir;
  const kelvo_site::UnitId unit{"kelvo", "rack", 1};
  {
    auto writer = kelvo_site::OpenStore("sqlite://" + dir.Db(), "", {});
    WriteUnitDay(*writer, unit);
  }
  auto store = kelvo_site::OpenStore("sqlite://" + dir.Db(), "", {});
  PlainQuery plain_query(dir.Db(), kelvo_site::TierForStep(step_s) == kelvo_site::HistoryTier::Raw, 2,
                         step_s);
  std::chrono::duration<double> history{0};
  std::chrono::duration<double> plain{0};
  std::size_t points = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const auto answer =
        store->History({unit, {"cell_voltages", 3}, kStart, kStart + kUnitDay * 1000LL - 1, step_s});
    const auto t1 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(plain_query.Run());
    const auto t2 = std::chrono::steady_clock::now();
    history += t1 - t0;
    plain += t2 - t1;
    points = answer.size();
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["history_ms"] = history.count() * 1e3 / n;
  state.counters["plain_ms"] = plain.count() * 1e3 / n;
  state.counters["ratio"] = history.count() / plain.count();
  state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_HistoryOverPlainQuery)->Arg(60)->Arg(30)->Unit(benchmark::kMillisecond)->MinTime(3);

// Bytes of each tier (table and its key index, by page) for one unit-day.
void BM_BytesPerUnitDay(benchmark::State& state) {
  for (auto _ : state) {
    TempDir dir;
    {
      auto store = kelvo_site::OpenStore("sqlite://" + dir.Db(), "", {});
      WriteUnitDay(*store, {"kelvo", "rack", 1});
    }
    sqlite3* db = nullptr;
    sqlite3_open_v2(dir.Db().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(
        db,
        "SELECT CASE WHEN name LIKE '%answer%' THEN 'raw' WHEN name LIKE '%minute%' THEN 'minute'"
        " WHEN name LIKE '%hour%' THEN 'hour' ELSE 'other' END, SUM(pgsize) FROM dbstat GROUP BY 1",
        -1, &stmt, nullptr);
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
      const std::string tier = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      state.counters[tier + "_bytes"] = static_cast<double>(sqlite3_column_int64(stmt, 1));
    }
    if (stmt == nullptr) state.SkipWithError("this SQLite has no dbstat table");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
  }
}
BENCHMARK(BM_BytesPerUnitDay)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
