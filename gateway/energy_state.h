// The energy counters' file in the gateway's state directory, so that they
// survive a restart and a crash. Written whole to a temporary file, synced,
// then renamed over the old one: a crash leaves the old file or the new one,
// never half of either.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "gateway/energy_counter.h"
#include "gateway/site_topics.h"

namespace kelvo_gateway {

using EnergyTotalsByUnit = std::map<UnitKey, EnergyTotals>;

// "energy.json" in `dir`.
[[nodiscard]] std::string EnergyStatePath(const std::string& dir);

// The counters kept in `dir`. `problem` says why none or only some could be
// read (no file yet, a file that does not parse, which is then kept beside
// as energy.json.corrupt); the counters it lacks start from 0.
struct EnergyStateRead {
  EnergyTotalsByUnit totals;
  std::string problem;
};
[[nodiscard]] EnergyStateRead ReadEnergyState(const std::string& dir);

// Writes `totals` to `dir` atomically; "" or why it could not.
[[nodiscard]] std::string WriteEnergyState(const std::string& dir, const EnergyTotalsByUnit& totals);

// Writes on a thread of its own, since syncing a file to a slow card can
// take longer than a round: the latest counters offered are written, older
// ones not yet written are skipped.
class EnergyStateWriter {
 public:
  EnergyStateWriter();
  ~EnergyStateWriter();  // writes what is offered, then ends
  EnergyStateWriter(const EnergyStateWriter&) = delete;
  EnergyStateWriter& operator=(const EnergyStateWriter&) = delete;

  void Offer(std::string dir, EnergyTotalsByUnit totals);
  // The fault of the last write ("" when it went well), once per change.
  [[nodiscard]] std::optional<std::string> TakeNewFault();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<std::pair<std::string, EnergyTotalsByUnit>> offered_;
  std::string fault_;
  bool fault_told_ = true;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace kelvo_gateway
