// The site's history and its latest state, behind one interface with two
// engines: SQLite (embedded, the default) and PostgreSQL. Every call blocks
// until the engine answers, so the service makes them on threads of its own,
// never on its event loop; one Store is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace kelvo_site {

// A unit as the gateways name it: their topic prefix, the bus, the address.
struct UnitId {
  std::string prefix;
  std::string bus;
  int address = 0;

  bool operator==(const UnitId&) const = default;
  bool operator<(const UnitId& o) const {
    return std::tie(prefix, bus, address) < std::tie(o.prefix, o.bus, o.address);
  }
};

// One number of an answer: a value key and, for an array key, the 1-based
// cell or sensor (0 for a key that is not an array).
struct Slot {
  std::string key;
  int element = 0;

  bool operator==(const Slot&) const = default;
  bool operator<(const Slot& o) const { return std::tie(key, element) < std::tie(o.key, o.element); }
};

// The values of one status message. Consecutive answers of a unit share
// their slots, so a writer hands the same `slots` again while they hold.
struct Answer {
  UnitId unit;
  std::int64_t time_ms = 0;  // the message's own time, not its arrival
  std::shared_ptr<const std::vector<Slot>> slots;
  std::vector<double> numbers;  // one per slot; NaN where the value was null
};

// An event as a gateway published it on {prefix}/events.
struct Event {
  std::string prefix;
  std::int64_t time_ms = 0;
  std::string bus;
  std::optional<int> address;  // none for a bus's own alarm
  std::string json;            // the message, byte for byte
};

struct AvailabilityChange {
  UnitId unit;
  std::int64_t time_ms = 0;  // when the service heard it
  bool online = false;
};

// What the page and /api/units show of a unit, kept so that a restart of the
// service or of a broker without persistence loses none of it.
struct UnitState {
  UnitId unit;
  std::optional<bool> online;      // none until its availability is heard
  std::int64_t last_seen_ms = 0;   // time of its latest answer; 0: none yet
  std::string values_json = "{}";  // the latest answer's `values` object
  std::string alarms_json = "[]";  // the `active` list of its latest alarm message
};

// A bus of a prefix, or with `bus` empty the prefix's whole site.
struct BusState {
  std::string prefix;
  std::string bus;
  std::string bank_json = "null";  // its latest bank message
  std::string alarms_json = "[]";  // the bus's own active alarms (bus_down)
};

// Written in one transaction: all of it or, on a fault, none.
struct Batch {
  std::vector<Answer> answers;
  std::vector<Event> events;
  std::vector<AvailabilityChange> availability;
  std::vector<UnitState> units;  // replace the stored state of these units
  std::vector<BusState> buses;   // and of these buses

  [[nodiscard]] bool empty() const {
    return answers.empty() && events.empty() && availability.empty() && units.empty() && buses.empty();
  }
};

// How long each tier keeps its rows; one-hour aggregates are kept for ever.
struct Retention {
  int raw_hours = 24;
  int minute_days = 30;
};

struct HistoryQuery {
  UnitId unit;
  Slot slot;
  std::int64_t from_ms = 0;
  std::int64_t to_ms = 0;
  int step_s = 0;  // 0: the raw answers
};

// A point stands at the start of its interval; raw points have mean = min = max.
struct Point {
  std::int64_t time_ms = 0;
  double mean = 0;
  double min = 0;
  double max = 0;
};

// A fault of the engine (unreachable, a full disk, a broken file), in the
// operator's terms; the store can be used again once the cause is gone.
struct StoreError {
  std::string message;
};

class Store {
 public:
  virtual ~Store() = default;

  // "sqlite" or "postgresql".
  [[nodiscard]] virtual std::string Engine() const = 0;

  // Stores the batch in one transaction, the answers' minute and hour
  // aggregates with it; throws StoreError and keeps nothing of it on a fault.
  virtual void Write(const Batch& batch) = 0;

  [[nodiscard]] virtual std::vector<UnitState> LoadUnits() = 0;
  [[nodiscard]] virtual std::vector<BusState> LoadBuses() = 0;

  // Points of one slot from `from_ms` up to and including `to_ms`, ordered by
  // time: raw answers for step 0, else one point per step from the finest
  // tier whose interval divides it (raw for steps that are no multiple of a
  // minute). A step's point stands at the start of its interval, covers the
  // whole interval even where the range cuts it, and is absent where the
  // slot has no number there; null numbers are skipped, the mean weighs
  // every answer alike.
  [[nodiscard]] virtual std::vector<Point> History(const HistoryQuery& query) = 0;

  // Events from `from_ms` to `to_ms`, oldest first, of one prefix, bus and
  // address where given; `each` returns false to stop early.
  virtual void Events(std::int64_t from_ms, std::int64_t to_ms, const std::optional<std::string>& prefix,
                      const std::optional<std::string>& bus, const std::optional<int>& address,
                      const std::function<bool(const Event&)>& each) = 0;

  // Every raw answer of `unit` from `from_ms` to `to_ms`, oldest first, one
  // at a time so that a long range never sits in memory.
  virtual void Answers(const UnitId& unit, std::int64_t from_ms, std::int64_t to_ms,
                       const std::function<bool(const Answer&)>& each) = 0;

  // Drops what the retention no longer keeps, as of `now_ms`.
  virtual void Prune(std::int64_t now_ms) = 0;
};

// Opens the store a URL names, "sqlite:///PATH" or
// "postgresql://USER@HOST:PORT/DB" (`password` from the configuration's
// password file, empty for none), creating its tables where they are
// missing. Throws StoreError for a URL it cannot use or an engine it cannot
// reach, naming which.
[[nodiscard]] std::unique_ptr<Store> OpenStore(const std::string& url, const std::string& password,
                                               const Retention& retention);

}  // namespace kelvo_site
