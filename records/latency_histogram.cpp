#include "records/latency_histogram.h"

#include <algorithm>
#include <cmath>

namespace kelvo_records {
namespace {

constexpr double kLowestMs = 0.001;
constexpr double kGrowth = 1.01;

}  // namespace

void LatencyHistogram::Add(double ms) {
  const double steps = ms > kLowestMs ? std::log(ms / kLowestMs) / std::log(kGrowth) : 0.0;
  const auto bucket = static_cast<std::size_t>(std::min(steps, static_cast<double>(kBuckets - 1)));
  ++buckets_[bucket];
  ++count_;
}

double LatencyHistogram::Percentile(double fraction) const {
  if (count_ == 0) return 0;
  const auto rank = static_cast<std::uint64_t>(std::ceil(std::clamp(fraction, 0.0, 1.0) * count_));
  std::uint64_t seen = 0;
  for (std::size_t i = 0; i < kBuckets; ++i) {
    seen += buckets_[i];
    // The middle of the bucket (geometrically): within half a percent of any sample in it.
    if (seen >= std::max<std::uint64_t>(rank, 1)) return kLowestMs * std::pow(kGrowth, i + 0.5);
  }
  return kLowestMs * std::pow(kGrowth, kBuckets);
}

}  // namespace kelvo_records
