// The topics the gateway publishes under its prefix, written once.
#pragma once

#include <compare>
#include <optional>
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
  std::string alarms;        // {prefix}/{bus}/{address}/alarms
};

[[nodiscard]] UnitTopics TopicsOf(std::string_view prefix, const UnitKey& unit);

// {prefix}/{bus}/bank: the figures of one bus's units.
[[nodiscard]] std::string BusBankTopic(std::string_view prefix, std::string_view bus);
// {prefix}/bank: the figures of every unit of the gateway.
[[nodiscard]] std::string SiteBankTopic(std::string_view prefix);

// {prefix}/{bus}/alarms: the bus's own (bus_down).
[[nodiscard]] std::string BusAlarmsTopic(std::string_view prefix, std::string_view bus);
// {prefix}/events: every raise, clear and acknowledgement.
[[nodiscard]] std::string EventsTopic(std::string_view prefix);
// {prefix}/+/+/alarms/ack: where acknowledgements come from.
[[nodiscard]] std::string AckFilter(std::string_view prefix);
// The unit an acknowledgement on `topic` is for; none for a topic not of
// the form {prefix}/{bus}/{address}/alarms/ack.
[[nodiscard]] std::optional<UnitKey> AckedUnit(std::string_view prefix, std::string_view topic);

// {prefix}/gateway/availability: "online" while connected, "offline" as goodbye and will.
[[nodiscard]] std::string GatewayAvailabilityTopic(std::string_view prefix);
// {prefix}/gateway/stats
[[nodiscard]] std::string GatewayStatsTopic(std::string_view prefix);

}  // namespace kelvo_gateway
