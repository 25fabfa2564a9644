// What a reload changes, decided from the configuration in use and the file
// read again before anything is touched; the gateway then applies it step by step.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "gateway/gateway_config.h"
#include "gateway/site_topics.h"
#include "mqtt/mqtt_client.h"

namespace kelvo_gateway {

// The connection `broker` asks for, the gateway's availability as its will.
[[nodiscard]] kelvo_mqtt::MqttSettings ConnectionSettings(const BrokerConfig& broker);

struct ReloadPlan {
  // Step 1: the file read again and checked. None when it does not check: then
  // `refusal` names the file, line and key, and nothing else changes.
  std::optional<GatewayConfig> next;
  std::string refusal;
  // Step 2: units whose retained availability and discovery configs are cleared under
  // the prefix in use: those gone from the file, every one when the prefix moves.
  std::vector<UnitKey> forget;
  // Step 3: the connection settings differ, so the publisher reconnects.
  bool reconnect = false;
  // Step 4: pollers that end (bus gone or changed) and that start (bus new or
  // changed), in file order; all of them when discovery changes.
  std::vector<std::string> stop;
  std::vector<BusConfig> start;
  // Step 5: the remaining units' discovery configs are published again or cleared.
  bool discovery_changed = false;
  // The profile's meaning changed: values, and discovery configs, follow the new one.
  bool profile_changed = false;
  // Rules came or went: each unit's alarm sensors follow.
  bool alarm_names_changed = false;
};

// The plan for going from `in_use` to the file read again (`reread`), with
// `known` the units heard of so far.
[[nodiscard]] ReloadPlan PlanReload(const GatewayConfig& in_use, ConfigResult reread,
                                    const std::vector<UnitKey>& known);

}  // namespace kelvo_gateway
