// The topics kelvo-site follows under each gateway's prefix, and what a
// received topic is: which prefix, bus and unit it speaks of.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo_site {

enum class TopicKind {
  Status,               // {prefix}/BUS/ADDRESS/status
  Availability,         // {prefix}/BUS/ADDRESS/availability
  UnitAlarms,           // {prefix}/BUS/ADDRESS/alarms
  BusAlarms,            // {prefix}/BUS/alarms
  BusBank,              // {prefix}/BUS/bank
  SiteBank,             // {prefix}/bank
  Events,               // {prefix}/events
  GatewayAvailability,  // {prefix}/gateway/availability
};

struct SiteTopic {
  TopicKind kind = TopicKind::Status;
  std::string prefix;
  std::string bus;  // empty for the prefix's own topics
  int address = 0;  // for a unit's topics
};

// The filters to subscribe to for `prefix`.
[[nodiscard]] std::vector<std::string> TopicFilters(const std::string& prefix);

// What `topic` is under the first of `prefixes` it reads under, longest
// prefixes first (a prefix may hold "/"); none for a topic of no prefix, an
// address that is not 0-255, or a shape not followed.
[[nodiscard]] std::optional<SiteTopic> ParseSiteTopic(const std::vector<std::string>& prefixes,
                                                      std::string_view topic);

}  // namespace kelvo_site
