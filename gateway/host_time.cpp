#include "gateway/host_time.h"

#include <cstdint>
#include <cstdio>

namespace kelvo_gateway {

std::string HostTimeHex(std::time_t now) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(static_cast<std::uint32_t>(now)));
  return text;
}

std::string IdentityPayload(std::time_t now) {
  return "00000001" + HostTimeHex(now) + "0000";
}

}  // namespace kelvo_gateway
