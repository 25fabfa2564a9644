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

// What the stats message says of the webhook: events waiting (the one being
// sent included), dropped from its full queue, refused by the receiver, delivered.
struct WebhookCounts {
  std::uint64_t queued = 0;
  std::uint64_t dropped = 0;
  std::uint64_t refused = 0;
  std::uint64_t sent = 0;
};

// The `{prefix}/gateway/stats` payload: one JSON object, latencies null before
// the first answer, "webhook" only with one. `time` is FormatTime's text.
[[nodiscard]] std::string StatsJson(const std::string& time, std::uint64_t queued, std::uint64_t dropped,
                                    const std::map<std::string, BusCounters>& buses,
                                    const WebhookCounts* webhook = nullptr);

}  // namespace kelvo_gateway
