#include "site/store/sqlite_store.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <tuple>
#include <utility>

#include "site/store/tiered_store.h"

namespace kelvo_site {
namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr const char* kSchemaVersion = "1";

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS unit(id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, bus TEXT NOT NULL,
  address INTEGER NOT NULL, UNIQUE(prefix, bus, address));
CREATE TABLE IF NOT EXISTS layout(id INTEGER PRIMARY KEY, slots TEXT NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS answer(unit INTEGER NOT NULL, time_ms INTEGER NOT NULL, layout INTEGER NOT NULL,
  numbers BLOB NOT NULL, PRIMARY KEY(unit, time_ms));
CREATE TABLE IF NOT EXISTS minute(unit INTEGER NOT NULL, start_ms INTEGER NOT NULL, layout INTEGER NOT NULL,
  stats BLOB NOT NULL, PRIMARY KEY(unit, start_ms, layout));
CREATE TABLE IF NOT EXISTS hour(unit INTEGER NOT NULL, start_ms INTEGER NOT NULL, layout INTEGER NOT NULL,
  stats BLOB NOT NULL, PRIMARY KEY(unit, start_ms, layout));
CREATE TABLE IF NOT EXISTS event(id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, time_ms INTEGER NOT NULL,
  bus TEXT NOT NULL, address INTEGER, json TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS event_time ON event(time_ms);
CREATE TABLE IF NOT EXISTS availability(unit INTEGER NOT NULL, time_ms INTEGER NOT NULL, online INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS availability_time ON availability(time_ms);
CREATE TABLE IF NOT EXISTS unit_state(prefix TEXT NOT NULL, bus TEXT NOT NULL, address INTEGER NOT NULL,
  online INTEGER, last_seen_ms INTEGER NOT NULL, values_json TEXT NOT NULL, alarms_json TEXT NOT NULL,
  PRIMARY KEY(prefix, bus, address));
CREATE TABLE IF NOT EXISTS bus_state(prefix TEXT NOT NULL, bus TEXT NOT NULL, bank_json TEXT NOT NULL,
  alarms_json TEXT NOT NULL, PRIMARY KEY(prefix, bus));
INSERT OR IGNORE INTO meta(key, value) VALUES('schema_version', '1');
)sql";

const char* TableName(Table table) {
  switch (table) {
    case Table::Raw: return "answer";
    case Table::Minute: return "minute";
    case Table::Hour: return "hour";
  }
  return "answer";
}

const char* TimeColumn(Table table) {
  return table == Table::Raw ? "time_ms" : "start_ms";
}

std::string Lowered(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

class Statement {
 public:
  Statement() = default;
  Statement(sqlite3* db, const std::string& sql, const std::string& path) {
    if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK) {
      throw StoreError{"cannot use " + path + ": " + sqlite3_errmsg(db)};
    }
  }
  Statement(Statement&& other) noexcept : stmt_(std::exchange(other.stmt_, nullptr)) {}
  Statement& operator=(Statement&& other) noexcept {
    std::swap(stmt_, other.stmt_);
    return *this;
  }
  ~Statement() { sqlite3_finalize(stmt_); }

  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement however its use ends, so that it never holds a read
// open or keeps the bound blobs.
class Use {
 public:
  explicit Use(const Statement& statement) : stmt_(statement.get()) {}
  ~Use() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

  Use& Int(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Use& Text(int index, const std::string& value) {
    sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
    return *this;
  }
  Use& Blob(int index, const std::string& value) {
    sqlite3_bind_blob(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
    return *this;
  }
  Use& Null(int index) {
    sqlite3_bind_null(stmt_, index);
    return *this;
  }

  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_;
};

std::int64_t ColumnInt(sqlite3_stmt* stmt, int column) {
  return sqlite3_column_int64(stmt, column);
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const auto* text = sqlite3_column_text(stmt, column);
  return text ? std::string(reinterpret_cast<const char*>(text),
                            static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
              : std::string();
}

std::span<const std::uint8_t> ColumnBlob(sqlite3_stmt* stmt, int column) {
  const void* data = sqlite3_column_blob(stmt, column);
  const int size = sqlite3_column_bytes(stmt, column);
  return {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)};
}

class SqliteStore final : public TieredStore {
 public:
  SqliteStore(std::string path, const Retention& retention) : TieredStore(retention), path_(std::move(path)) {
    const int opened =
        sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (opened != SQLITE_OK) {
      const int system_errno = db_ ? sqlite3_system_errno(db_) : 0;
      const std::string cause = system_errno != 0
                                    ? Lowered(std::strerror(system_errno))
                                    : std::string(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(opened));
      sqlite3_close(db_);
      db_ = nullptr;
      throw StoreError{"cannot open " + path_ + ": " + cause};
    }
    try {
      sqlite3_extended_result_codes(db_, 1);
      sqlite3_busy_timeout(db_, kBusyTimeoutMs);
      Exec("PRAGMA journal_mode=WAL", "open");
      Exec("PRAGMA synchronous=NORMAL", "open");
      // Every Write rewrites the current minute and hour row of each unit:
      // a cache that holds them, and a WAL long enough that a checkpoint
      // writes each such page once for many Writes, not once for each.
      Exec("PRAGMA cache_size=-65536", "open");
      Exec("PRAGMA wal_autocheckpoint=16384", "open");
      Exec("PRAGMA journal_size_limit=67108864", "open");
      if (sqlite3_db_readonly(db_, "main") == 1) throw StoreError{"cannot write " + path_ + ": read-only"};
      Exec(kSchema, "open");
      CheckSchemaVersion();
      Prepare();
    } catch (...) {
      // close_v2 waits for the prepared statements, finalised with the members.
      sqlite3_close_v2(db_);
      throw;
    }
  }

  ~SqliteStore() override { sqlite3_close_v2(db_); }

  [[nodiscard]] std::string Engine() const override { return "sqlite"; }

  [[nodiscard]] std::vector<UnitState> LoadUnits() override {
    std::vector<UnitState> units;
    Use use(load_units_);
    while (Step(use, "read")) {
      UnitState state;
      state.unit = {ColumnText(use.get(), 0), ColumnText(use.get(), 1),
                    static_cast<int>(ColumnInt(use.get(), 2))};
      if (sqlite3_column_type(use.get(), 3) != SQLITE_NULL) state.online = ColumnInt(use.get(), 3) != 0;
      state.last_seen_ms = ColumnInt(use.get(), 4);
      state.values_json = ColumnText(use.get(), 5);
      state.alarms_json = ColumnText(use.get(), 6);
      units.push_back(std::move(state));
    }
    return units;
  }

  [[nodiscard]] std::vector<BusState> LoadBuses() override {
    std::vector<BusState> buses;
    Use use(load_buses_);
    while (Step(use, "read")) {
      buses.push_back({ColumnText(use.get(), 0), ColumnText(use.get(), 1), ColumnText(use.get(), 2),
                       ColumnText(use.get(), 3)});
    }
    return buses;
  }

 protected:
  void Begin() override { Exec("BEGIN IMMEDIATE", "write"); }
  void Commit() override { Exec("COMMIT", "write"); }
  void Rollback() noexcept override { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }

  std::optional<std::int64_t> FindUnit(const UnitId& unit) override {
    Use use(find_unit_);
    use.Text(1, unit.prefix).Text(2, unit.bus).Int(3, unit.address);
    if (!Step(use, "read")) return std::nullopt;
    return ColumnInt(use.get(), 0);
  }

  std::int64_t InsertUnit(const UnitId& unit) override {
    Use use(insert_unit_);
    use.Text(1, unit.prefix).Text(2, unit.bus).Int(3, unit.address);
    Step(use, "write");
    return sqlite3_last_insert_rowid(db_);
  }

  std::optional<std::int64_t> FindLayout(const std::string& text) override {
    Use use(find_layout_);
    use.Text(1, text);
    if (!Step(use, "read")) return std::nullopt;
    return ColumnInt(use.get(), 0);
  }

  std::int64_t InsertLayout(const std::string& text) override {
    Use use(insert_layout_);
    use.Text(1, text);
    Step(use, "write");
    return sqlite3_last_insert_rowid(db_);
  }

  std::string LoadLayout(std::int64_t id) override {
    Use use(load_layout_);
    use.Int(1, id);
    if (!Step(use, "read")) throw StoreError{path_ + " lacks layout " + std::to_string(id)};
    return ColumnText(use.get(), 0);
  }

  std::vector<bool> InsertRaw(const std::vector<RawRow>& rows) override {
    std::vector<bool> stored;
    stored.reserve(rows.size());
    for (const RawRow& row : rows) {
      Use use(insert_raw_);
      use.Int(1, row.unit).Int(2, row.time_ms).Int(3, row.layout).Blob(4, row.numbers);
      Step(use, "write");
      stored.push_back(sqlite3_changes(db_) > 0);
    }
    return stored;
  }

  RollupRows LoadRollups(Table table, const std::vector<RollupKey>& keys) override {
    RollupRows rows;
    const Statement& statement = table == Table::Hour ? load_hour_ : load_minute_;
    for (const RollupKey& key : keys) {
      Use use(statement);
      use.Int(1, key.unit).Int(2, key.start_ms).Int(3, key.layout);
      if (Step(use, "read")) {
        const auto blob = ColumnBlob(use.get(), 0);
        rows.emplace(key, std::string(reinterpret_cast<const char*>(blob.data()), blob.size()));
      }
    }
    return rows;
  }

  void SaveRollups(Table table, const RollupRows& rows) override {
    const Statement& statement = table == Table::Hour ? save_hour_ : save_minute_;
    for (const auto& [key, stats] : rows) {
      Use use(statement);
      use.Int(1, key.unit).Int(2, key.start_ms).Int(3, key.layout).Blob(4, stats);
      Step(use, "write");
    }
  }

  void InsertEvents(const std::vector<Event>& events) override {
    for (const Event& event : events) {
      Use use(insert_event_);
      use.Text(1, event.prefix).Int(2, event.time_ms).Text(3, event.bus).Text(5, event.json);
      if (event.address) use.Int(4, *event.address);
      Step(use, "write");
    }
  }

  void InsertAvailability(const std::vector<std::pair<std::int64_t, AvailabilityChange>>& changes) override {
    for (const auto& [unit, change] : changes) {
      Use use(insert_availability_);
      use.Int(1, unit).Int(2, change.time_ms).Int(3, change.online ? 1 : 0);
      Step(use, "write");
    }
  }

  void ReplaceUnits(const std::vector<UnitState>& units) override {
    for (const UnitState& state : units) {
      Use use(replace_unit_);
      use.Text(1, state.unit.prefix).Text(2, state.unit.bus).Int(3, state.unit.address);
      if (state.online) use.Int(4, *state.online ? 1 : 0);
      use.Int(5, state.last_seen_ms).Text(6, state.values_json).Text(7, state.alarms_json);
      Step(use, "write");
    }
  }

  void ReplaceBuses(const std::vector<BusState>& buses) override {
    for (const BusState& state : buses) {
      Use use(replace_bus_);
      use.Text(1, state.prefix).Text(2, state.bus).Text(3, state.bank_json).Text(4, state.alarms_json);
      Step(use, "write");
    }
  }

  void ScanRows(Table table, std::int64_t unit, std::int64_t from_ms, std::int64_t to_ms,
                const RowVisitor& each) override {
    const Statement& statement = table == Table::Raw    ? scan_raw_
                                 : table == Table::Hour ? scan_hour_
                                                        : scan_minute_;
    Use use(statement);
    use.Int(1, unit).Int(2, from_ms).Int(3, to_ms);
    while (Step(use, "read")) {
      if (!each(ColumnInt(use.get(), 0), ColumnInt(use.get(), 1), ColumnBlob(use.get(), 2))) break;
    }
  }

  void ScanEvents(std::int64_t from_ms, std::int64_t to_ms, const std::optional<std::string>& prefix,
                  const std::optional<std::string>& bus, const std::optional<int>& address,
                  const std::function<bool(const Event&)>& each) override {
    Use use(scan_events_);
    use.Int(1, from_ms).Int(2, to_ms);
    if (prefix) use.Text(3, *prefix);
    if (bus) use.Text(4, *bus);
    if (address) use.Int(5, *address);
    while (Step(use, "read")) {
      Event event{ColumnText(use.get(), 0), ColumnInt(use.get(), 1), ColumnText(use.get(), 2), std::nullopt,
                  ColumnText(use.get(), 4)};
      if (sqlite3_column_type(use.get(), 3) != SQLITE_NULL)
        event.address = static_cast<int>(ColumnInt(use.get(), 3));
      if (!each(event)) break;
    }
  }

  void DeleteBefore(Table table, std::int64_t before_ms) override {
    // By unit, so that the (unit, time) key serves the search.
    Statement statement(db_,
                        std::string("DELETE FROM ") + TableName(table) +
                            " WHERE unit IN (SELECT id FROM unit) AND " + TimeColumn(table) + " < ?",
                        path_);
    Use use(statement);
    use.Int(1, before_ms);
    Step(use, "write");
  }

  void DeleteEventsBefore(std::int64_t before_ms) override {
    for (const char* sql :
         {"DELETE FROM event WHERE time_ms < ?", "DELETE FROM availability WHERE time_ms < ?"}) {
      Statement statement(db_, sql, path_);
      Use use(statement);
      use.Int(1, before_ms);
      Step(use, "write");
    }
  }

 private:
  // True while a row is there; throws on a fault, naming what failed.
  bool Step(const Use& use, const char* doing) {
    const int result = sqlite3_step(use.get());
    if (result == SQLITE_ROW) return true;
    if (result == SQLITE_DONE) return false;
    throw StoreError{std::string("cannot ") + doing + " " + path_ + ": " + sqlite3_errmsg(db_)};
  }

  void Exec(const char* sql, const char* doing) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message =
          std::string("cannot ") + doing + " " + path_ + ": " + (error ? error : sqlite3_errmsg(db_));
      sqlite3_free(error);
      throw StoreError{message};
    }
  }

  void CheckSchemaVersion() {
    Statement statement(db_, "SELECT value FROM meta WHERE key = 'schema_version'", path_);
    Use use(statement);
    if (!Step(use, "open") || ColumnText(use.get(), 0) != kSchemaVersion) {
      throw StoreError{"cannot use " + path_ + ": its tables are of schema version " +
                       ColumnText(use.get(), 0) + ", this kelvo-site knows " + kSchemaVersion};
    }
  }

  void Add(Statement& slot, const std::string& sql) { slot = Statement(db_, sql, path_); }

  void Prepare() {
    Add(find_unit_, "SELECT id FROM unit WHERE prefix = ? AND bus = ? AND address = ?");
    Add(insert_unit_, "INSERT INTO unit(prefix, bus, address) VALUES(?, ?, ?)");
    Add(find_layout_, "SELECT id FROM layout WHERE slots = ?");
    Add(insert_layout_, "INSERT INTO layout(slots) VALUES(?)");
    Add(load_layout_, "SELECT slots FROM layout WHERE id = ?");
    Add(insert_raw_, "INSERT OR IGNORE INTO answer(unit, time_ms, layout, numbers) VALUES(?, ?, ?, ?)");
    for (auto [load, save, table] :
         {std::tuple{&load_minute_, &save_minute_, "minute"}, std::tuple{&load_hour_, &save_hour_, "hour"}}) {
      Add(*load,
          std::string("SELECT stats FROM ") + table + " WHERE unit = ? AND start_ms = ? AND layout = ?");
      Add(*save, std::string("INSERT INTO ") + table +
                     "(unit, start_ms, layout, stats) VALUES(?, ?, ?, ?)"
                     " ON CONFLICT(unit, start_ms, layout) DO UPDATE SET stats = excluded.stats");
    }
    Add(insert_event_, "INSERT INTO event(prefix, time_ms, bus, address, json) VALUES(?, ?, ?, ?, ?)");
    Add(insert_availability_, "INSERT INTO availability(unit, time_ms, online) VALUES(?, ?, ?)");
    Add(replace_unit_,
        "INSERT OR REPLACE INTO unit_state(prefix, bus, address, online, last_seen_ms, values_json, "
        "alarms_json)"
        " VALUES(?, ?, ?, ?, ?, ?, ?)");
    Add(replace_bus_,
        "INSERT OR REPLACE INTO bus_state(prefix, bus, bank_json, alarms_json) VALUES(?, ?, ?, ?)");
    Add(load_units_,
        "SELECT prefix, bus, address, online, last_seen_ms, values_json, alarms_json FROM unit_state"
        " ORDER BY prefix, bus, address");
    Add(load_buses_, "SELECT prefix, bus, bank_json, alarms_json FROM bus_state ORDER BY prefix, bus");
    Add(scan_raw_,
        "SELECT time_ms, layout, numbers FROM answer WHERE unit = ? AND time_ms BETWEEN ? AND ? ORDER BY "
        "time_ms");
    Add(scan_minute_,
        "SELECT start_ms, layout, stats FROM minute WHERE unit = ? AND start_ms BETWEEN ? AND ?"
        " ORDER BY start_ms, layout");
    Add(scan_hour_,
        "SELECT start_ms, layout, stats FROM hour WHERE unit = ? AND start_ms BETWEEN ? AND ?"
        " ORDER BY start_ms, layout");
    Add(scan_events_,
        "SELECT prefix, time_ms, bus, address, json FROM event WHERE time_ms BETWEEN ?1 AND ?2"
        " AND (?3 IS NULL OR prefix = ?3) AND (?4 IS NULL OR bus = ?4) AND (?5 IS NULL OR address = ?5)"
        " ORDER BY time_ms, id");
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  Statement find_unit_, insert_unit_, find_layout_, insert_layout_, load_layout_, insert_raw_;
  Statement load_minute_, save_minute_, load_hour_, save_hour_;
  Statement insert_event_, insert_availability_, replace_unit_, replace_bus_, load_units_, load_buses_;
  Statement scan_raw_, scan_minute_, scan_hour_, scan_events_;
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path, const Retention& retention) {
  return std::make_unique<SqliteStore>(path, retention);
}

}  // namespace kelvo_site
