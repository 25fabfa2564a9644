#include "gateway/site_topics.h"

namespace kelvo_gateway {

UnitTopics TopicsOf(std::string_view prefix, const UnitKey& unit) {
  const std::string base = std::string(prefix) + "/" + unit.bus + "/" + std::to_string(unit.address) + "/";
  return {base + "status", base + "availability"};
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
