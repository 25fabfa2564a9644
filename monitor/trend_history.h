// The history behind the trend charts: one time ring and one value ring per
// series, all of the same fixed capacity, and the reduction of a time span to
// at most two points per pixel column.
#pragma once

#include <cstddef>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

#include "ring_buffer.h"

namespace kelvo_monitor {

// 24 hours at one answer a second.
inline constexpr std::size_t kHistoryCapacity = 24 * 60 * 60;
// Series watched at once; each costs kHistoryCapacity floats when first used.
inline constexpr int kHistorySeries = 32;

struct TrendPoint {
  double time;  // seconds since the epoch
  double value;
};

// A stretch without answers (the unit silent, the link down): from the last
// answer before it to the first after it.
struct Outage {
  double from;
  double to;
};

class TrendHistory {
 public:
  explicit TrendHistory(std::size_t capacity = kHistoryCapacity, int series = kHistorySeries);

  // Makes `series` (0 .. series count - 1) hold values; its past reads as
  // missing. Its memory is taken now, whole. Out of range: nothing.
  void Watch(int series);
  [[nodiscard]] bool Watched(int series) const;
  // One answer's values, indexed by series; series not watched are ignored
  // and missing values are NaN. A time earlier than the last one is taken as
  // the last one, so the history stays in time order when the clock steps back.
  void Append(double time, const std::vector<float>& values);
  void Clear();
  // Records an outage; lines are broken across it. Outages end in time order;
  // those older than the history are let go.
  void AddOutage(double from, double to);
  [[nodiscard]] const std::deque<Outage>& outages() const { return outages_; }

  [[nodiscard]] std::size_t size() const noexcept { return times_.size(); }
  [[nodiscard]] std::size_t capacity() const noexcept { return times_.capacity(); }
  [[nodiscard]] double FirstTime() const { return times_.empty() ? 0 : times_[0]; }
  [[nodiscard]] double LastTime() const { return times_.empty() ? 0 : times_.back(); }

  // The points of `series` between `from` and `to` (seconds), reduced to the
  // lowest and the highest of each of `columns` equal slices of that span, in
  // time order, plus the nearest point on each side so that lines reach the
  // edges. Missing values are skipped. Across an outage a NaN point is put
  // between the points either side, so that the line breaks there. Nothing
  // for a series not watched.
  void Decimate(int series, double from, double to, int columns, std::vector<TrendPoint>& out) const;

 private:
  [[nodiscard]] std::size_t FirstAtOrAfter(double time) const;

  RingBuffer<double> times_;
  std::vector<std::unique_ptr<RingBuffer<float>>> values_;
  std::deque<Outage> outages_;
};

}  // namespace kelvo_monitor
