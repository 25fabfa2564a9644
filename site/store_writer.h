// The thread that writes to the store: it owns one Store, gathers what the
// event loop hands it into a batch written every second (sooner at 1,000
// answers), holds a bounded backlog while the store is away, opens it again
// by itself, and prunes what the retention no longer keeps.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "site/store/store.h"

namespace kelvo_site {

using StoreOpener = std::function<std::unique_ptr<Store>()>;  // throws StoreError

class StoreWriter {
 public:
  static constexpr int kBatchMs = 1000;
  static constexpr std::size_t kBatchAnswers = 1000;
  static constexpr int kReopenMs = 3000;
  static constexpr int kPruneMs = 5 * 60 * 1000;
  // A unit's latest values change with every answer and are in the raw tier
  // anyway, so a unit whose values alone changed is written this often.
  static constexpr int kLatestValuesMs = 10'000;
  // Answers and events held while the store is away; past that, new ones are dropped and counted.
  static constexpr std::size_t kMaxBacklog = 500'000;

  // Called on the writer's thread whenever the store opens, fails (`open`
  // false, the reason) or has something to say while open (a failed prune).
  using StateReport = std::function<void(bool open, const std::string& what)>;
  StoreWriter(StoreOpener open, StateReport state);
  ~StoreWriter();  // Stop()

  void Add(Answer answer);
  void Add(Event event);
  void Add(AvailabilityChange change);
  // `values_only`: nothing but the latest answer changed (see kLatestValuesMs).
  void Put(const UnitState& unit, bool values_only = false);
  void Put(const BusState& bus);

  // Writes what is held (when the store is open) and ends the thread.
  void Stop();

  [[nodiscard]] std::uint64_t written() const { return written_; }
  [[nodiscard]] std::uint64_t dropped() const { return dropped_; }
  [[nodiscard]] std::uint64_t failures() const { return failures_; }
  [[nodiscard]] std::size_t backlog() const { return backlog_; }

 private:
  void Run();
  bool Room();                               // under the mutex
  Batch TakeBatch(bool with_latest_values);  // under the mutex
  void GiveBack(Batch batch);                // under the mutex
  bool Write(Batch& batch);

  StoreOpener open_;
  StateReport state_;
  std::unique_ptr<Store> store_;  // on the writer's thread
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  Batch pending_;
  struct PendingUnit {
    UnitState state;
    bool values_only = true;
  };
  std::map<UnitId, PendingUnit> units_;
  std::map<std::pair<std::string, std::string>, BusState> buses_;
  std::atomic<std::uint64_t> written_{0};
  std::atomic<std::uint64_t> dropped_{0};
  std::atomic<std::uint64_t> failures_{0};
  std::atomic<std::size_t> backlog_{0};
  std::thread thread_;
};

}  // namespace kelvo_site
