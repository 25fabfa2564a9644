// Builds the text of a request frame from the window's three inputs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace codec {

// The longest frame the builder writes, and the text it returns instead of a
// longer one.
inline constexpr std::size_t kMaxFrameLength = 240;
inline constexpr std::string_view kLengthErrorText = "length error, too long!!";

// "<", length, "3", address, command, [payload length, payload], check value,
// ">": every number the low 8 bits as two upper-case digits. `command` is read
// with ParseHexNumber; the payload is copied byte for byte. Returns
// kLengthErrorText when the frame would exceed kMaxFrameLength characters.
// Throws only std::bad_alloc.
[[nodiscard]] std::string EncodeRequest(std::int32_t address, std::string_view command,
                                        std::string_view payload);

}  // namespace codec
