// What the stats message says of one bus: counts and latencies since start.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "records/latency_histogram.h"

namespace kelvo_gateway {

struct BusCounters {
  std::uint64_t requests = 0;
  std::uint64_t answered = 0;
  std::uint64_t failed = 0;
  kelvo_records::LatencyHistogram latency;
};

// The `{prefix}/gateway/stats` payload: one JSON object, latencies null before
// the first answer. `time` is FormatTime's text.
[[nodiscard]] std::string StatsJson(const std::string& time, std::uint64_t queued, std::uint64_t dropped,
                                    const std::map<std::string, BusCounters>& buses);

}  // namespace kelvo_gateway
