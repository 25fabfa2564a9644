#include "link/host_time.h"

#include <cstdint>

#include "codec/frame_text.h"

namespace kelvo_link {

std::string HostTimeHex(std::time_t now) {
  const auto seconds = static_cast<std::uint32_t>(now);
  std::string text(8, '0');
  for (int i = 0; i < 8; ++i)
    text[static_cast<std::size_t>(i)] = codec::HexDigit(static_cast<int>(seconds >> (28 - 4 * i)));
  return text;
}

std::string DeviceInfoPayload(std::time_t now) {
  return "00000001" + HostTimeHex(now) + "0001";
}

}  // namespace kelvo_link
