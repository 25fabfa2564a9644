// A unit's energy counters: power integrated over time between consecutive
// answers, split into what went in and what came out. They only ever grow.
#pragma once

#include <chrono>

namespace kelvo_gateway {

// A unit's counters at one moment, in Wh.
struct EnergyTotals {
  double charged_wh = 0;
  double discharged_wh = 0;

  bool operator==(const EnergyTotals&) const = default;
};

class EnergyCounter {
 public:
  using Clock = std::chrono::system_clock;

  // Counters kept from an earlier run.
  void Restore(const EnergyTotals& kept);

  // Adds the power `watts` (positive while charging) answered at `at`. The
  // stretch since the previous answer counts as a trapezoid, split where the
  // power crosses zero; a stretch longer than `longest_gap` (the unit was
  // away) or running backwards (the clock was set back) counts nothing.
  void Add(Clock::time_point at, double watts, Clock::duration longest_gap);
  // The next answer starts afresh (the unit answered without a power figure).
  void Break() { has_last_ = false; }

  [[nodiscard]] EnergyTotals totals() const { return {charged_wh_, discharged_wh_}; }

 private:
  double charged_wh_ = 0;
  double discharged_wh_ = 0;
  bool has_last_ = false;
  Clock::time_point last_at_;
  double last_watts_ = 0;
};

}  // namespace kelvo_gateway
