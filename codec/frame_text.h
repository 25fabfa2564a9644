// The hexadecimal rules of the frame text: one digit written, one digit read,
// and a number read the way the C runtime's base-16 strtol reads it.
#pragma once

#include <cstdint>
#include <string_view>

namespace codec {

// Upper-case digit for the low 4 bits of `value`; the other bits are ignored.
[[nodiscard]] constexpr char HexDigit(int value) noexcept {
  const int d = value & 0xF;
  return static_cast<char>(d < 10 ? 0x30 + d : 0x37 + d);
}

// Writes the low 8 bits of `value` as two digits, high nibble first, at `out`.
// Returns the position just after them. Every count, address, command and
// check value of a frame is written this way.
constexpr char* WriteHexField(char* out, int value) noexcept {
  out[0] = HexDigit(value >> 4);
  out[1] = HexDigit(value);
  return out + 2;
}

// 0-15 for "0"-"9" and "A"-"F"; 14 for every other code, lower-case digits
// included. Never fails.
[[nodiscard]] std::uint8_t HexNibbleValue(char c) noexcept;

// Skips blanks (0x09-0x0D, 0x20), takes one sign and an optional "0x"/"0X",
// then reads digits of either case up to the first other character. No digit
// gives 0; a magnitude out of range saturates to INT32_MAX or INT32_MIN.
[[nodiscard]] std::int32_t ParseHexNumber(std::string_view text) noexcept;

}  // namespace codec
