#include "gateway/reload_plan.h"

#include <algorithm>
#include <iterator>
#include <set>

namespace kelvo_gateway {

using kelvo_mqtt::MqttSettings;
namespace {

std::vector<UnitKey> UnitsToForget(const GatewayConfig& in_use, const GatewayConfig& next,
                                   const std::vector<UnitKey>& known) {
  const bool topics_moved = in_use.broker.topic_prefix != next.broker.topic_prefix;
  std::set<UnitKey> wanted;
  for (const BusConfig& bus : next.buses) {
    for (int address : bus.addresses) wanted.insert({bus.name, address});
  }
  std::vector<UnitKey> forget;
  std::copy_if(known.begin(), known.end(), std::back_inserter(forget),
               [&](const UnitKey& unit) { return topics_moved || !wanted.contains(unit); });
  return forget;
}

void PlanBusChanges(const GatewayConfig& in_use, const GatewayConfig& next, ReloadPlan& plan) {
  const auto kept = [&](const std::vector<BusConfig>& buses, const BusConfig& bus) {
    return !plan.discovery_changed && std::find(buses.begin(), buses.end(), bus) != buses.end();
  };
  for (const BusConfig& bus : in_use.buses) {
    if (!kept(next.buses, bus)) plan.stop.push_back(bus.name);
  }
  for (const BusConfig& bus : next.buses) {
    if (!kept(in_use.buses, bus)) plan.start.push_back(bus);
  }
}

}  // namespace

MqttSettings ConnectionSettings(const BrokerConfig& broker) {
  MqttSettings s;
  s.host = broker.host;
  s.port = broker.port;
  s.tls = broker.tls;
  s.ca_file = broker.ca_file;
  s.client_id = broker.client_id;
  s.username = broker.username;
  s.password = broker.password;
  s.keepalive_s = broker.keepalive_s;
  s.will_topic = GatewayAvailabilityTopic(broker.topic_prefix);
  s.subscriptions = {AckFilter(broker.topic_prefix)};
  return s;
}

ReloadPlan PlanReload(const GatewayConfig& in_use, ConfigResult reread, const std::vector<UnitKey>& known) {
  ReloadPlan plan;
  if (!reread.config) {
    plan.refusal = std::move(reread.error);
    return plan;
  }
  const GatewayConfig& next = *reread.config;
  plan.forget = UnitsToForget(in_use, next, known);
  plan.reconnect = ConnectionSettings(in_use.broker) != ConnectionSettings(next.broker);
  plan.discovery_changed = in_use.discovery != next.discovery;
  const auto* old_profile = in_use.site.profile.get();
  const auto* new_profile = next.site.profile.get();
  plan.profile_changed = (old_profile == nullptr) != (new_profile == nullptr) ||
                         (old_profile != nullptr && !(*old_profile == *new_profile));
  const auto names = [](const GatewayConfig& c) {
    std::vector<std::string> out;
    for (const kelvo_alarms::AlarmRule& rule : *c.alarms) out.push_back(rule.name);
    return out;
  };
  plan.alarm_names_changed = names(in_use) != names(next);
  PlanBusChanges(in_use, next, plan);
  plan.next = std::move(reread.config);
  return plan;
}

}  // namespace kelvo_gateway
