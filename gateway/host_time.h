// The host time as status and identity requests carry it.
#pragma once

#include <ctime>
#include <string>

namespace kelvo_gateway {

// The Unix time in seconds as 8 upper-case hex digits (its low 32 bits).
[[nodiscard]] std::string HostTimeHex(std::time_t now);

// The 0x48 payload: command version 1, the host time, client type 0.
[[nodiscard]] std::string IdentityPayload(std::time_t now);

}  // namespace kelvo_gateway
