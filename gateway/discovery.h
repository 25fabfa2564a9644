// Home Assistant-style discovery: one device per unit, one sensor per numeric
// field of its status answer, each array element (cell voltage, temperature)
// a sensor of its own, state read from the unit's status topic.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "alarms/alarm_rule.h"
#include "gateway/gateway_config.h"
#include "gateway/site_topics.h"
#include "profile/profile.h"

namespace kelvo_gateway {

// One unit as discovery describes it.
struct DiscoveredUnit {
  std::string client_id;  // the gateway's, so that two gateways' units never share a node
  UnitKey key;
  UnitTopics topics;
  std::string_view status_frame;    // one of its status answers: gives the cell and sensor counts
  std::string_view identity_frame;  // its identity answer (model, serial, software); empty when none
  // The site's profile: sensors read its values, in its units. Null: the raw numbers.
  const kelvo_profile::Profile* profile = nullptr;
  // The alarm rules: one problem sensor each, and one for offline.
  const kelvo_alarms::AlarmRules* alarms = nullptr;
};

struct DiscoveryMessage {
  std::string topic;    // {prefix}/sensor/{node}/{object}/config
  std::string payload;  // retained JSON
};

// The configs for `unit`: a field the site's `discovery` presents (a unit,
// a scale) as it says; else, with a profile, as the profile's values, then
// the derived figures and energy counters; else a plain number. Sensors of
// payload fields keep their object ids whatever reads them; a binary sensor
// per alarm rule and for offline, on while the alarm stands. None when the
// status frame is not a status answer.
[[nodiscard]] std::vector<DiscoveryMessage> DiscoveryConfigs(const DiscoveryConfig& discovery,
                                                             const DiscoveredUnit& unit);

// `text` as a topic level and id: itself when made of A-Z, a-z, 0-9, _ and -;
// otherwise every other byte becomes "_" and "-" and 8 hex digits of the
// original's SHA-256 follow, so that different texts never give one id.
[[nodiscard]] std::string TopicId(std::string_view text);

}  // namespace kelvo_gateway
