// What the host tells the unit of itself in its requests: its clock (0x42,
// 0x48) and, asking for the device information (0x48), its command version
// and client type.
#pragma once

#include <ctime>
#include <string>

namespace kelvo_link {

// The Unix time `now` in seconds as 8 upper-case hex digits (its low 32 bits).
[[nodiscard]] std::string HostTimeHex(std::time_t now);

// The 0x48 payload: command version 1, the host time `now`, client type 1.
[[nodiscard]] std::string DeviceInfoPayload(std::time_t now);

}  // namespace kelvo_link
