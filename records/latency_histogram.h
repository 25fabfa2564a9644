// Latency percentiles in fixed memory, however long a run lasts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvo_records {

// Counts latencies in buckets 1 % wide (from 1 microsecond to some hours),
// so a percentile comes back within 1 % of the true value.
class LatencyHistogram {
 public:
  void Add(double ms);
  [[nodiscard]] std::uint64_t count() const { return count_; }
  // The latency below which `fraction` (0-1) of the samples lie, in ms; 0
  // with no samples.
  [[nodiscard]] double Percentile(double fraction) const;

 private:
  static constexpr std::size_t kBuckets = 2400;
  std::array<std::uint64_t, kBuckets> buckets_{};
  std::uint64_t count_ = 0;
};

}  // namespace kelvo_records
