// What `--check` prints: the broker, and what the gateway would poll where.
#pragma once

#include <string>

#include "gateway/gateway_config.h"

namespace kelvo_gateway {

// Several lines, each ending in "\n". Names the password file, never the password.
[[nodiscard]] std::string DescribeConfig(const GatewayConfig& config, const std::string& path);

// "1-3, 7, 9-10" for 1,2,3,7,9,10: ascending runs joined, others in their order.
[[nodiscard]] std::string AddressRuns(const std::vector<int>& addresses);

}  // namespace kelvo_gateway
