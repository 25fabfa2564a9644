#include "gateway/energy_counter.h"

#include <algorithm>

namespace kelvo_gateway {

void EnergyCounter::Restore(const EnergyTotals& kept) {
  // Never below what this run has counted already: the counters only grow.
  charged_wh_ = std::max(charged_wh_, kept.charged_wh);
  discharged_wh_ = std::max(discharged_wh_, kept.discharged_wh);
}

void EnergyCounter::Add(Clock::time_point at, double watts, Clock::duration longest_gap) {
  if (has_last_ && at > last_at_ && at - last_at_ <= longest_gap) {
    const double hours = std::chrono::duration<double, std::ratio<3600>>(at - last_at_).count();
    const double a = last_watts_;
    const double b = watts;
    if ((a >= 0) == (b >= 0)) {
      const double area = (a + b) / 2 * hours;
      if (area >= 0) {
        charged_wh_ += area;
      } else {
        discharged_wh_ -= area;
      }
    } else {
      // Straight from a to b crosses zero at a / (a - b) of the stretch: a
      // triangle on each side, one in and one out.
      const double crossing = a / (a - b) * hours;
      const double first = a / 2 * crossing;
      const double second = b / 2 * (hours - crossing);
      charged_wh_ += a > 0 ? first : second;
      discharged_wh_ -= a > 0 ? second : first;
    }
  }
  has_last_ = true;
  last_at_ = at;
  last_watts_ = watts;
}

}  // namespace kelvo_gateway
