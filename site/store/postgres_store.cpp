#include "site/store/postgres_store.h"

#include <libpq-fe.h>
#include <poll.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "site/store/tiered_store.h"

namespace kelvo_site {
namespace {

// A server that takes longer than this for one statement is taken for gone.
constexpr std::chrono::seconds kStatementTimeout{20};
constexpr const char* kConnectTimeoutS = "3";
constexpr const char* kSchemaVersion = "1";
// Rows per multi-row statement, and per fetch of a long read.
constexpr std::size_t kRowsPerStatement = 1000;
constexpr int kRowsPerFetch = 5000;

// JSON columns are bytea: the messages are kept byte for byte, and a message
// that is not valid UTF-8 cannot make a whole batch fail.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS unit(id BIGSERIAL PRIMARY KEY, prefix TEXT NOT NULL, bus TEXT NOT NULL,
  address BIGINT NOT NULL, UNIQUE(prefix, bus, address));
CREATE TABLE IF NOT EXISTS layout(id BIGSERIAL PRIMARY KEY, slots TEXT NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS answer(unit BIGINT NOT NULL, time_ms BIGINT NOT NULL, layout BIGINT NOT NULL,
  numbers BYTEA NOT NULL, PRIMARY KEY(unit, time_ms));
CREATE TABLE IF NOT EXISTS minute(unit BIGINT NOT NULL, start_ms BIGINT NOT NULL, layout BIGINT NOT NULL,
  stats BYTEA NOT NULL, PRIMARY KEY(unit, start_ms, layout));
CREATE TABLE IF NOT EXISTS hour(unit BIGINT NOT NULL, start_ms BIGINT NOT NULL, layout BIGINT NOT NULL,
  stats BYTEA NOT NULL, PRIMARY KEY(unit, start_ms, layout));
CREATE TABLE IF NOT EXISTS event(id BIGSERIAL PRIMARY KEY, prefix TEXT NOT NULL, time_ms BIGINT NOT NULL,
  bus TEXT NOT NULL, address BIGINT, json BYTEA NOT NULL);
CREATE INDEX IF NOT EXISTS event_time ON event(time_ms, id);
CREATE TABLE IF NOT EXISTS availability(unit BIGINT NOT NULL, time_ms BIGINT NOT NULL, online BOOLEAN NOT NULL);
CREATE INDEX IF NOT EXISTS availability_time ON availability(time_ms);
CREATE TABLE IF NOT EXISTS unit_state(prefix TEXT NOT NULL, bus TEXT NOT NULL, address BIGINT NOT NULL,
  online BOOLEAN, last_seen_ms BIGINT NOT NULL, values_json BYTEA NOT NULL, alarms_json BYTEA NOT NULL,
  PRIMARY KEY(prefix, bus, address));
CREATE TABLE IF NOT EXISTS bus_state(prefix TEXT NOT NULL, bus TEXT NOT NULL, bank_json BYTEA NOT NULL,
  alarms_json BYTEA NOT NULL, PRIMARY KEY(prefix, bus));
INSERT INTO meta(key, value) VALUES('schema_version', '1') ON CONFLICT DO NOTHING;
)sql";

const char* TableName(Table table) {
  switch (table) {
    case Table::Raw: return "answer";
    case Table::Minute: return "minute";
    case Table::Hour: return "hour";
  }
  return "answer";
}

// The first line of a libpq message, without its severity.
std::string FirstLine(const char* message) {
  std::string text = message ? message : "";
  if (const auto end = text.find('\n'); end != std::string::npos) text.resize(end);
  for (const char* severity : {"FATAL:  ", "ERROR:  ", "ERROR: ", "FATAL: "}) {
    if (text.starts_with(severity)) text.erase(0, std::strlen(severity));
  }
  return text;
}

// Parameters of one statement: text, bytes sent as they are, or NULL.
class Params {
 public:
  Params& Int(std::int64_t value) { return Text(std::to_string(value)); }
  Params& Text(std::string value) {
    const std::string& kept = owned_.emplace_back(std::move(value));
    values_.push_back(kept.c_str());
    lengths_.push_back(0);
    formats_.push_back(0);
    return *this;
  }
  // `value` must outlive the statement.
  Params& Bytes(const std::string& value) {
    values_.push_back(value.data());
    lengths_.push_back(static_cast<int>(value.size()));
    formats_.push_back(1);
    return *this;
  }
  Params& Null() {
    values_.push_back(nullptr);
    lengths_.push_back(0);
    formats_.push_back(0);
    return *this;
  }

  [[nodiscard]] int size() const { return static_cast<int>(values_.size()); }
  [[nodiscard]] const char* const* values() const { return values_.data(); }
  [[nodiscard]] const int* lengths() const { return lengths_.data(); }
  [[nodiscard]] const int* formats() const { return formats_.data(); }

 private:
  std::deque<std::string> owned_;
  std::vector<const char*> values_;
  std::vector<int> lengths_;
  std::vector<int> formats_;
};

// "($1, $2), ($3, $4)" for `rows` rows of `columns`, each cast as `cast` says.
std::string Placeholders(std::size_t rows, int columns, const char* cast = "") {
  std::string text;
  int next = 1;
  for (std::size_t row = 0; row < rows; ++row) {
    text += row == 0 ? "(" : ", (";
    for (int column = 0; column < columns; ++column) {
      if (column > 0) text += ", ";
      text += "$" + std::to_string(next++) + cast;
    }
    text += ")";
  }
  return text;
}

class Result {
 public:
  explicit Result(PGresult* result = nullptr) : result_(result) {}
  Result(Result&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}
  Result& operator=(Result&& other) noexcept {
    std::swap(result_, other.result_);
    return *this;
  }
  ~Result() { PQclear(result_); }

  [[nodiscard]] int rows() const { return PQntuples(result_); }
  [[nodiscard]] bool null(int row, int column) const { return PQgetisnull(result_, row, column) == 1; }
  // Binary results: bigint in network order.
  [[nodiscard]] std::int64_t Int(int row, int column) const {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(PQgetvalue(result_, row, column));
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
    return static_cast<std::int64_t>(value);
  }
  [[nodiscard]] bool Bool(int row, int column) const { return PQgetvalue(result_, row, column)[0] != 0; }
  [[nodiscard]] std::span<const std::uint8_t> Bytes(int row, int column) const {
    return {reinterpret_cast<const std::uint8_t*>(PQgetvalue(result_, row, column)),
            static_cast<std::size_t>(PQgetlength(result_, row, column))};
  }
  [[nodiscard]] std::string Text(int row, int column) const {
    const auto bytes = Bytes(row, column);
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
  }

 private:
  PGresult* result_;
};

class PostgresStore final : public TieredStore {
 public:
  PostgresStore(PostgresUrl url, const std::string& password, const Retention& retention)
      : TieredStore(retention),
        url_(std::move(url)),
        password_(password),
        where_("PostgreSQL at " + url_.host + ":" + std::to_string(url_.port)) {
    Connect();
    try {
      CreateTables();
    } catch (...) {
      Disconnect();
      throw;
    }
  }

  ~PostgresStore() override { Disconnect(); }

  [[nodiscard]] std::string Engine() const override { return "postgresql"; }

  [[nodiscard]] std::vector<UnitState> LoadUnits() override {
    const Result result =
        Run("SELECT prefix, bus, address, online, last_seen_ms, values_json, alarms_json FROM unit_state"
            " ORDER BY prefix, bus, address",
            Params());
    std::vector<UnitState> units;
    for (int row = 0; row < result.rows(); ++row) {
      UnitState state;
      state.unit = {result.Text(row, 0), result.Text(row, 1), static_cast<int>(result.Int(row, 2))};
      if (!result.null(row, 3)) state.online = result.Bool(row, 3);
      state.last_seen_ms = result.Int(row, 4);
      state.values_json = result.Text(row, 5);
      state.alarms_json = result.Text(row, 6);
      units.push_back(std::move(state));
    }
    return units;
  }

  [[nodiscard]] std::vector<BusState> LoadBuses() override {
    const Result result =
        Run("SELECT prefix, bus, bank_json, alarms_json FROM bus_state ORDER BY prefix, bus", Params());
    std::vector<BusState> buses;
    buses.reserve(static_cast<std::size_t>(result.rows()));
    for (int row = 0; row < result.rows(); ++row) {
      buses.push_back({result.Text(row, 0), result.Text(row, 1), result.Text(row, 2), result.Text(row, 3)});
    }
    return buses;
  }

 protected:
  void Begin() override {
    // The one place a lost connection is made again: never inside a transaction.
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
      Disconnect();
      Connect();
    }
    Run("BEGIN");
    in_transaction_ = true;
  }

  void Commit() override {
    Run("COMMIT");
    in_transaction_ = false;
  }

  void Rollback() noexcept override {
    in_transaction_ = false;
    if (conn_ == nullptr) return;
    if (PQstatus(conn_) != CONNECTION_OK || PQtransactionStatus(conn_) == PQTRANS_ACTIVE) {
      Disconnect();
      return;
    }
    PQclear(PQexec(conn_, "ROLLBACK"));
  }

  std::optional<std::int64_t> FindUnit(const UnitId& unit) override {
    const Result result = Run("SELECT id FROM unit WHERE prefix = $1 AND bus = $2 AND address = $3",
                              Params().Text(unit.prefix).Text(unit.bus).Int(unit.address));
    if (result.rows() == 0) return std::nullopt;
    return result.Int(0, 0);
  }

  std::int64_t InsertUnit(const UnitId& unit) override {
    // Another writer may have added it meanwhile: then its id.
    const Result result =
        Run("INSERT INTO unit(prefix, bus, address) VALUES($1, $2, $3)"
            " ON CONFLICT(prefix, bus, address) DO UPDATE SET address = EXCLUDED.address RETURNING id",
            Params().Text(unit.prefix).Text(unit.bus).Int(unit.address));
    return result.Int(0, 0);
  }

  std::optional<std::int64_t> FindLayout(const std::string& text) override {
    const Result result = Run("SELECT id FROM layout WHERE slots = $1", Params().Text(text));
    if (result.rows() == 0) return std::nullopt;
    return result.Int(0, 0);
  }

  std::int64_t InsertLayout(const std::string& text) override {
    const Result result =
        Run("INSERT INTO layout(slots) VALUES($1) ON CONFLICT(slots) DO UPDATE SET slots = EXCLUDED.slots "
            "RETURNING id",
            Params().Text(text));
    return result.Int(0, 0);
  }

  std::string LoadLayout(std::int64_t id) override {
    const Result result = Run("SELECT slots FROM layout WHERE id = $1", Params().Int(id));
    if (result.rows() == 0)
      throw StoreError{"database " + url_.database + " of " + where_ + " lacks layout " + std::to_string(id)};
    return result.Text(0, 0);
  }

  std::vector<bool> InsertRaw(const std::vector<RawRow>& rows) override {
    std::set<std::pair<std::int64_t, std::int64_t>> stored;
    ForChunks(rows.size(), [&](std::size_t begin, std::size_t end) {
      Params params;
      for (std::size_t i = begin; i < end; ++i) {
        params.Int(rows[i].unit).Int(rows[i].time_ms).Int(rows[i].layout).Bytes(rows[i].numbers);
      }
      const Result result =
          Run("INSERT INTO answer(unit, time_ms, layout, numbers) VALUES " + Placeholders(end - begin, 4) +
                  " ON CONFLICT DO NOTHING RETURNING unit, time_ms",
              params);
      for (int row = 0; row < result.rows(); ++row) stored.emplace(result.Int(row, 0), result.Int(row, 1));
    });
    // The first of two rows with one key is the one stored, as in SQLite.
    std::vector<bool> inserted;
    inserted.reserve(rows.size());
    for (const RawRow& row : rows) inserted.push_back(stored.erase({row.unit, row.time_ms}) > 0);
    return inserted;
  }

  // Locked to the end of the transaction: a second writer merges after this one, not over it.
  RollupRows LoadRollups(Table table, const std::vector<RollupKey>& keys) override {
    RollupRows rows;
    ForChunks(keys.size(), [&](std::size_t begin, std::size_t end) {
      Params params;
      for (std::size_t i = begin; i < end; ++i)
        params.Int(keys[i].unit).Int(keys[i].start_ms).Int(keys[i].layout);
      const Result result = Run(std::string("SELECT unit, start_ms, layout, stats FROM ") + TableName(table) +
                                    " WHERE (unit, start_ms, layout) IN (VALUES " +
                                    Placeholders(end - begin, 3, "::bigint") + ") FOR UPDATE",
                                params);
      for (int row = 0; row < result.rows(); ++row) {
        const auto stats = result.Bytes(row, 3);
        rows.emplace(RollupKey{result.Int(row, 0), result.Int(row, 1), result.Int(row, 2)},
                     std::string(reinterpret_cast<const char*>(stats.data()), stats.size()));
      }
    });
    return rows;
  }

  void SaveRollups(Table table, const RollupRows& rows) override {
    std::vector<const std::pair<const RollupKey, std::string>*> all;
    all.reserve(rows.size());
    for (const auto& row : rows) all.push_back(&row);
    ForChunks(all.size(), [&](std::size_t begin, std::size_t end) {
      Params params;
      for (std::size_t i = begin; i < end; ++i) {
        params.Int(all[i]->first.unit)
            .Int(all[i]->first.start_ms)
            .Int(all[i]->first.layout)
            .Bytes(all[i]->second);
      }
      Run(std::string("INSERT INTO ") + TableName(table) + "(unit, start_ms, layout, stats) VALUES " +
              Placeholders(end - begin, 4) +
              " ON CONFLICT(unit, start_ms, layout) DO UPDATE SET stats = EXCLUDED.stats",
          params);
    });
  }

  void InsertEvents(const std::vector<Event>& events) override {
    ForChunks(events.size(), [&](std::size_t begin, std::size_t end) {
      Params params;
      for (std::size_t i = begin; i < end; ++i) {
        params.Text(events[i].prefix).Int(events[i].time_ms).Text(events[i].bus);
        events[i].address ? params.Int(*events[i].address) : params.Null();
        params.Bytes(events[i].json);
      }
      Run("INSERT INTO event(prefix, time_ms, bus, address, json) VALUES " + Placeholders(end - begin, 5),
          params);
    });
  }

  void InsertAvailability(const std::vector<std::pair<std::int64_t, AvailabilityChange>>& changes) override {
    ForChunks(changes.size(), [&](std::size_t begin, std::size_t end) {
      Params params;
      for (std::size_t i = begin; i < end; ++i) {
        params.Int(changes[i].first)
            .Int(changes[i].second.time_ms)
            .Text(changes[i].second.online ? "t" : "f");
      }
      Run("INSERT INTO availability(unit, time_ms, online) VALUES " + Placeholders(end - begin, 3), params);
    });
  }

  void ReplaceUnits(const std::vector<UnitState>& units) override {
    // One statement cannot update a row twice: the last state of a unit wins, as in SQLite.
    std::map<UnitId, const UnitState*> last;
    for (const UnitState& state : units) last[state.unit] = &state;
    std::vector<const UnitState*> rows;
    rows.reserve(last.size());
    for (const auto& entry : last) rows.push_back(entry.second);
    ForChunks(rows.size(), [&](std::size_t begin, std::size_t end) {
      Params params;
      for (std::size_t i = begin; i < end; ++i) {
        const UnitState& state = *rows[i];
        params.Text(state.unit.prefix).Text(state.unit.bus).Int(state.unit.address);
        state.online ? params.Text(*state.online ? "t" : "f") : params.Null();
        params.Int(state.last_seen_ms).Bytes(state.values_json).Bytes(state.alarms_json);
      }
      Run("INSERT INTO unit_state(prefix, bus, address, online, last_seen_ms, values_json, alarms_json) "
          "VALUES " +
              Placeholders(end - begin, 7) +
              " ON CONFLICT(prefix, bus, address) DO UPDATE SET online = EXCLUDED.online,"
              " last_seen_ms = EXCLUDED.last_seen_ms, values_json = EXCLUDED.values_json,"
              " alarms_json = EXCLUDED.alarms_json",
          params);
    });
  }

  void ReplaceBuses(const std::vector<BusState>& buses) override {
    std::map<std::pair<std::string, std::string>, const BusState*> last;
    for (const BusState& state : buses) last[{state.prefix, state.bus}] = &state;
    std::vector<const BusState*> rows;
    rows.reserve(last.size());
    for (const auto& entry : last) rows.push_back(entry.second);
    ForChunks(rows.size(), [&](std::size_t begin, std::size_t end) {
      Params params;
      for (std::size_t i = begin; i < end; ++i) {
        params.Text(rows[i]->prefix).Text(rows[i]->bus).Bytes(rows[i]->bank_json).Bytes(rows[i]->alarms_json);
      }
      Run("INSERT INTO bus_state(prefix, bus, bank_json, alarms_json) VALUES " +
              Placeholders(end - begin, 4) +
              " ON CONFLICT(prefix, bus) DO UPDATE SET bank_json = EXCLUDED.bank_json,"
              " alarms_json = EXCLUDED.alarms_json",
          params);
    });
  }

  void ScanRows(Table table, std::int64_t unit, std::int64_t from_ms, std::int64_t to_ms,
                const RowVisitor& each) override {
    // A page at a time, on from the last row's key, so that a year never sits in memory.
    const std::string limit = " LIMIT " + std::to_string(kRowsPerFetch);
    if (table == Table::Raw) {
      const std::string sql =
          "SELECT time_ms, layout, numbers FROM answer WHERE unit = $1 AND time_ms >= $2 AND time_ms <= $3"
          " ORDER BY time_ms" +
          limit;
      while (from_ms <= to_ms) {
        const Result result = Run(sql, Params().Int(unit).Int(from_ms).Int(to_ms));
        for (int row = 0; row < result.rows(); ++row) {
          if (!each(result.Int(row, 0), result.Int(row, 1), result.Bytes(row, 2))) return;
        }
        if (result.rows() < kRowsPerFetch) return;
        from_ms = result.Int(result.rows() - 1, 0) + 1;
      }
      return;
    }
    const std::string sql = std::string("SELECT start_ms, layout, stats FROM ") + TableName(table) +
                            " WHERE unit = $1 AND (start_ms, layout) >= ($2, $3) AND start_ms <= $4"
                            " ORDER BY start_ms, layout" +
                            limit;
    std::int64_t from_layout = std::numeric_limits<std::int64_t>::min();
    while (true) {
      const Result result = Run(sql, Params().Int(unit).Int(from_ms).Int(from_layout).Int(to_ms));
      for (int row = 0; row < result.rows(); ++row) {
        if (!each(result.Int(row, 0), result.Int(row, 1), result.Bytes(row, 2))) return;
      }
      if (result.rows() < kRowsPerFetch) return;
      from_ms = result.Int(result.rows() - 1, 0);
      from_layout = result.Int(result.rows() - 1, 1) + 1;
    }
  }

  void ScanEvents(std::int64_t from_ms, std::int64_t to_ms, const std::optional<std::string>& prefix,
                  const std::optional<std::string>& bus, const std::optional<int>& address,
                  const std::function<bool(const Event&)>& each) override {
    const std::string sql =
        "SELECT id, prefix, time_ms, bus, address, json FROM event WHERE (time_ms, id) > ($1, $2)"
        " AND time_ms <= $3 AND ($4::text IS NULL OR prefix = $4) AND ($5::text IS NULL OR bus = $5)"
        " AND ($6::bigint IS NULL OR address = $6) ORDER BY time_ms, id LIMIT " +
        std::to_string(kRowsPerFetch);
    std::int64_t after_time = from_ms;
    std::int64_t after_id = -1;
    while (true) {
      Params params;
      params.Int(after_time).Int(after_id).Int(to_ms);
      prefix ? params.Text(*prefix) : params.Null();
      bus ? params.Text(*bus) : params.Null();
      address ? params.Int(*address) : params.Null();
      const Result result = Run(sql, params);
      for (int row = 0; row < result.rows(); ++row) {
        Event event{result.Text(row, 1), result.Int(row, 2), result.Text(row, 3), std::nullopt,
                    result.Text(row, 5)};
        if (!result.null(row, 4)) event.address = static_cast<int>(result.Int(row, 4));
        if (!each(event)) return;
      }
      if (result.rows() < kRowsPerFetch) return;
      after_time = result.Int(result.rows() - 1, 2);
      after_id = result.Int(result.rows() - 1, 0);
    }
  }

  void DeleteBefore(Table table, std::int64_t before_ms) override {
    Run(std::string("DELETE FROM ") + TableName(table) +
            " WHERE unit = ANY(ARRAY(SELECT id FROM unit)) AND " +
            (table == Table::Raw ? "time_ms" : "start_ms") + " < $1",
        Params().Int(before_ms));
  }

  void DeleteEventsBefore(std::int64_t before_ms) override {
    Run("DELETE FROM event WHERE time_ms < $1", Params().Int(before_ms));
    Run("DELETE FROM availability WHERE time_ms < $1", Params().Int(before_ms));
  }

 private:
  void CreateTables() {
    Run(kSchema);
    const Result version = Run("SELECT value FROM meta WHERE key = 'schema_version'", Params());
    if (version.rows() != 1 || version.Text(0, 0) != kSchemaVersion) {
      throw StoreError{
          "cannot use database " + url_.database + " of " + where_ + ": its tables are of schema version " +
          (version.rows() == 1 ? version.Text(0, 0) : "none") + ", this kelvo-site knows " + kSchemaVersion};
    }
  }

  void Connect() {
    const std::string port = std::to_string(url_.port);
    // Notices ("relation exists, skipping") are no news for the operator.
    std::vector<const char*> keys = {
        "host", "port", "user", "dbname", "connect_timeout", "application_name", "options"};
    std::vector<const char*> values = {url_.host.c_str(),
                                       port.c_str(),
                                       url_.user.c_str(),
                                       url_.database.c_str(),
                                       kConnectTimeoutS,
                                       "kelvo-site",
                                       "-c client_min_messages=warning"};
    if (!password_.empty()) {
      keys.push_back("password");
      values.push_back(password_.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    conn_ = PQconnectdbParams(keys.data(), values.data(), 0);
    if (conn_ == nullptr) throw StoreError{where_ + " cannot be reached: out of memory"};
    if (PQstatus(conn_) != CONNECTION_OK) {
      const std::string message = PQerrorMessage(conn_);
      Disconnect();
      // The server's own refusal (a wrong password, no such database) is
      // tagged FATAL; anything else never got that far.
      if (message.find("FATAL") != std::string::npos) {
        throw StoreError{where_ + " refused " + url_.user + "@" + url_.database + ": " +
                         FirstLine(message.c_str() + message.find("FATAL"))};
      }
      throw StoreError{where_ + " does not answer (" + FirstLine(message.c_str()) + ")"};
    }
  }

  void Disconnect() noexcept {
    PQfinish(conn_);
    conn_ = nullptr;
  }

  Result Run(const std::string& sql) { return Execute(sql, nullptr); }
  Result Run(const std::string& sql, const Params& params) { return Execute(sql, &params); }

  // One statement, waited for at most kStatementTimeout.
  Result Execute(const std::string& sql, const Params* params) {
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
      if (in_transaction_) throw Lost();
      Disconnect();
      Connect();
    }
    const int sent = params == nullptr
                         ? PQsendQuery(conn_, sql.c_str())
                         : PQsendQueryParams(conn_, sql.c_str(), params->size(), nullptr, params->values(),
                                             params->lengths(), params->formats(), 1);
    if (sent != 1) throw Lost();
    const auto deadline = std::chrono::steady_clock::now() + kStatementTimeout;
    Result last;
    while (true) {
      while (PQisBusy(conn_) == 1) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd socket{PQsocket(conn_), POLLIN, 0};
        if (left.count() <= 0 || poll(&socket, 1, static_cast<int>(left.count())) == 0) {
          Disconnect();
          throw StoreError{where_ + " does not answer (no reply within " +
                           std::to_string(kStatementTimeout.count()) + " s)"};
        }
        if (PQconsumeInput(conn_) != 1) throw Lost();
      }
      PGresult* next = PQgetResult(conn_);
      if (next == nullptr) break;
      Result result(next);
      const ExecStatusType status = PQresultStatus(next);
      if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const std::string message = FirstLine(PQresultErrorMessage(next));
        while (PGresult* rest = PQgetResult(conn_)) PQclear(rest);
        if (PQstatus(conn_) != CONNECTION_OK) throw Lost();
        throw StoreError{"database " + url_.database + " of " + where_ + ": " + message};
      }
      last = std::move(result);
    }
    if (PQstatus(conn_) != CONNECTION_OK) throw Lost();
    return last;
  }

  StoreError Lost() {
    const std::string message = conn_ ? FirstLine(PQerrorMessage(conn_)) : "not connected";
    Disconnect();
    return StoreError{where_ + " does not answer (" + message + ")"};
  }

  template <typename Fill>
  static void ForChunks(std::size_t count, const Fill& fill) {
    for (std::size_t begin = 0; begin < count; begin += kRowsPerStatement) {
      fill(begin, std::min(count, begin + kRowsPerStatement));
    }
  }

  PostgresUrl url_;
  std::string password_;
  std::string where_;
  PGconn* conn_ = nullptr;
  bool in_transaction_ = false;
};

}  // namespace

std::unique_ptr<Store> OpenPostgresStore(const PostgresUrl& url, const std::string& password,
                                         const Retention& retention) {
  return std::make_unique<PostgresStore>(url, password, retention);
}

}  // namespace kelvo_site
