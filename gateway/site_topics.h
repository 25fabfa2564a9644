// The topics the gateway publishes under its prefix, written once.
#pragma once

#include <compare>
#include <string>
#include <string_view>

namespace kelvo_gateway {

// One unit of the site: the bus it hangs on and its address there.
struct UnitKey {
  std::string bus;
  int address = 0;

  // NOLINTNEXTLINE(modernize-use-nullptr): clang-tidy 14 sees the literal 0 of a defaulted <=>
  auto operator<=>(const UnitKey&) const = default;
};

struct UnitTopics {
  std::string status;        // {prefix}/{bus}/{address}/status
  std::string availability;  // {prefix}/{bus}/{address}/availability
};

[[nodiscard]] UnitTopics TopicsOf(std::string_view prefix, const UnitKey& unit);

// {prefix}/gateway/availability: "online" while connected, "offline" as goodbye and will.
[[nodiscard]] std::string GatewayAvailabilityTopic(std::string_view prefix);
// {prefix}/gateway/stats
[[nodiscard]] std::string GatewayStatsTopic(std::string_view prefix);

}  // namespace kelvo_gateway
