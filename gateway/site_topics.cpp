#include "gateway/site_topics.h"

namespace kelvo_gateway {

UnitTopics TopicsOf(std::string_view prefix, const UnitKey& unit) {
  const std::string base = std::string(prefix) + "/" + unit.bus + "/" + std::to_string(unit.address) + "/";
  return {base + "status", base + "availability", base + "alarms"};
}

std::string BusAlarmsTopic(std::string_view prefix, std::string_view bus) {
  return std::string(prefix) + "/" + std::string(bus) + "/alarms";
}

std::string EventsTopic(std::string_view prefix) {
  return std::string(prefix) + "/events";
}

std::string AckFilter(std::string_view prefix) {
  return std::string(prefix) + "/+/+/alarms/ack";
}

std::optional<UnitKey> AckedUnit(std::string_view prefix, std::string_view topic) {
  constexpr std::string_view kTail = "/alarms/ack";
  if (!topic.starts_with(prefix) || topic.size() <= prefix.size() + kTail.size() ||
      topic[prefix.size()] != '/' || !topic.ends_with(kTail))
    return std::nullopt;
  const std::string_view middle =
      topic.substr(prefix.size() + 1, topic.size() - prefix.size() - 1 - kTail.size());
  const std::size_t slash = middle.find('/');
  if (slash == std::string_view::npos || slash == 0) return std::nullopt;
  const std::string_view address = middle.substr(slash + 1);
  if (address.empty() || address.size() > 3 ||
      address.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const int number = std::stoi(std::string(address));
  if (number > 255 || (address.size() > 1 && address[0] == '0')) return std::nullopt;
  return UnitKey{std::string(middle.substr(0, slash)), number};
}

std::string BusBankTopic(std::string_view prefix, std::string_view bus) {
  return std::string(prefix) + "/" + std::string(bus) + "/bank";
}

std::string SiteBankTopic(std::string_view prefix) {
  return std::string(prefix) + "/bank";
}

std::string GatewayAvailabilityTopic(std::string_view prefix) {
  return std::string(prefix) + "/gateway/availability";
}

std::string GatewayStatsTopic(std::string_view prefix) {
  return std::string(prefix) + "/gateway/stats";
}

}  // namespace kelvo_gateway
