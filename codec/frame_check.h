// The frame's 8-bit check value.
#pragma once

#include <cstdint>
#include <string_view>

namespace codec {

// CRC-8, polynomial 0x31, initial value 0xCC, no reflection, no final XOR,
// over the character codes as they stand. The empty run gives 0xCC.
[[nodiscard]] std::uint8_t FrameCheck8(std::string_view run) noexcept;

}  // namespace codec
