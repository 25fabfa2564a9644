// Home Assistant-style discovery of the bank figures: one device per bank
// and one for the site, a sensor per figure.
#pragma once

#include <string>
#include <vector>

#include "gateway/discovery.h"

namespace kelvo_gateway {

// One bank as discovery describes it: the units of bus `bus`, or, with
// `bus` empty, every unit of the gateway.
struct DiscoveredBank {
  std::string client_id;
  std::string bus;
  std::string state_topic;         // {prefix}/{bus}/bank or {prefix}/bank
  std::string availability_topic;  // the gateway's own
  const kelvo_profile::Profile* profile = nullptr;
};

// A device for the bank with one sensor per figure.
[[nodiscard]] std::vector<DiscoveryMessage> BankDiscoveryConfigs(const DiscoveryConfig& discovery,
                                                                 const DiscoveredBank& bank);

}  // namespace kelvo_gateway
