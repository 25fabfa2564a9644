#include "gateway/bus_counters.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace kelvo_gateway {
namespace {

nlohmann::ordered_json Percentile(const kelvo_records::LatencyHistogram& latency, double fraction) {
  if (latency.count() == 0) return nullptr;
  return std::round(latency.Percentile(fraction) * 1000.0) / 1000.0;
}

}  // namespace

std::string StatsJson(const std::string& time, std::uint64_t queued, std::uint64_t dropped,
                      const std::map<std::string, BusCounters>& buses, const WebhookCounts* webhook) {
  nlohmann::ordered_json stats;
  stats["time"] = time;
  stats["queued"] = queued;
  stats["dropped"] = dropped;
  nlohmann::ordered_json& out = stats["buses"] = nlohmann::ordered_json::object();
  for (const auto& [name, c] : buses) {
    out[name] = {{"requests", c.requests},
                 {"answered", c.answered},
                 {"failed", c.failed},
                 {"latency_p50_ms", Percentile(c.latency, 0.5)},
                 {"latency_p99_ms", Percentile(c.latency, 0.99)}};
  }
  if (webhook != nullptr) {
    stats["webhook"] = {{"queued", webhook->queued},
                        {"dropped", webhook->dropped},
                        {"refused", webhook->refused},
                        {"sent", webhook->sent}};
  }
  return stats.dump();
}

}  // namespace kelvo_gateway
