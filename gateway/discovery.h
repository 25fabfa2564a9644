// Home Assistant-style discovery: one device per unit, one sensor per numeric
// field of its status answer, each array element (cell voltage, temperature)
// a sensor of its own, state read from the unit's status topic.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gateway/gateway_config.h"

namespace kelvo_gateway {

struct UnitTopics {
  std::string status;
  std::string availability;
};

struct DiscoveryMessage {
  std::string topic;    // {prefix}/sensor/{node}/{object}/config
  std::string payload;  // retained JSON
};

// The configs for one unit, from one of its 0xC2 answers (which gives the cell
// and sensor counts) and its 0x48 answer when it gave one (model, serial,
// software version; empty when not). Fields without a presentation are plain numbers.
[[nodiscard]] std::vector<DiscoveryMessage> DiscoveryConfigs(
    const DiscoveryConfig& discovery, const std::string& client_id, const std::string& bus, int address,
    const UnitTopics& topics, std::string_view status_frame, std::string_view identity_frame);

// The part of a topic level made safe: anything but A-Z, a-z, 0-9, _ and - becomes "_".
[[nodiscard]] std::string TopicId(std::string_view text);

}  // namespace kelvo_gateway
