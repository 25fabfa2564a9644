#include "trend_history.h"

#include <algorithm>
#include <cmath>

namespace kelvo_monitor {
namespace {
constexpr float kMissing = std::numeric_limits<float>::quiet_NaN();
}  // namespace

TrendHistory::TrendHistory(std::size_t capacity, int series) : times_(capacity), values_(series) {}

void TrendHistory::Watch(int series) {
  if (series < 0 || series >= static_cast<int>(values_.size()) || values_[series]) return;
  auto ring = std::make_unique<RingBuffer<float>>(times_.capacity(), kMissing);
  // Same number of pushes as the time ring, so both index alike.
  for (std::size_t i = 0; i < times_.size(); ++i) ring->Push(kMissing);
  values_[series] = std::move(ring);
}

bool TrendHistory::Watched(int series) const {
  return series >= 0 && series < static_cast<int>(values_.size()) && values_[series] != nullptr;
}

void TrendHistory::Append(double time, const std::vector<float>& values) {
  if (!times_.empty()) time = std::max(time, times_.back());
  times_.Push(time);
  for (std::size_t s = 0; s < values_.size(); ++s) {
    if (values_[s]) values_[s]->Push(s < values.size() ? values[s] : kMissing);
  }
}

void TrendHistory::AddOutage(double from, double to) {
  outages_.push_back({from, to});
  while (!outages_.empty() && outages_.front().to < FirstTime()) outages_.pop_front();
}

void TrendHistory::Clear() {
  outages_.clear();
  times_.Clear();
  for (auto& ring : values_) {
    if (ring) ring->Clear();
  }
}

std::size_t TrendHistory::FirstAtOrAfter(double time) const {
  std::size_t low = 0, high = times_.size();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (times_[mid] < time) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

void TrendHistory::Decimate(int series, double from, double to, int columns,
                            std::vector<TrendPoint>& out) const {
  out.clear();
  if (!Watched(series) || times_.empty() || columns <= 0 || !(to > from)) return;
  const RingBuffer<float>& ring = *values_[series];
  const std::size_t first = FirstAtOrAfter(from);
  const std::size_t end = FirstAtOrAfter(std::nextafter(to, to + 1));

  std::size_t outage = 0;  // the first outage that may lie ahead of the last point out
  auto push = [&](std::size_t i) {
    if (std::isnan(ring[i])) return;
    const double time = times_[i];
    if (!out.empty()) {
      const double before = out.back().time;
      while (outage < outages_.size() && outages_[outage].from < before) ++outage;
      if (outage < outages_.size() && outages_[outage].to <= time) {
        out.push_back({(before + time) / 2, std::numeric_limits<double>::quiet_NaN()});
        while (outage < outages_.size() && outages_[outage].to <= time) ++outage;
      }
    }
    out.push_back({time, ring[i]});
  };
  // The nearest value before the span, so the line enters from the left edge.
  for (std::size_t i = first; i-- > 0;) {
    if (!std::isnan(ring[i])) {
      push(i);
      break;
    }
  }
  const double width = (to - from) / columns;
  std::size_t i = first;
  while (i < end) {
    const auto column = static_cast<long long>((times_[i] - from) / width);
    const double column_end = from + static_cast<double>(column + 1) * width;
    std::size_t low = end, high = end;
    std::size_t j = i;
    for (; j < end && (j == i || times_[j] < column_end); ++j) {
      const float v = ring[j];
      if (std::isnan(v)) continue;
      if (low == end || v < ring[low]) low = j;
      if (high == end || v > ring[high]) high = j;
    }
    if (low != end) {
      push(std::min(low, high));
      if (low != high) push(std::max(low, high));
    }
    i = j;
  }
  // And the nearest after it, so the line leaves at the right edge.
  for (std::size_t k = end; k < times_.size(); ++k) {
    if (!std::isnan(ring[k])) {
      push(k);
      break;
    }
  }
}

}  // namespace kelvo_monitor
