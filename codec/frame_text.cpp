#include "codec/frame_text.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace codec {
namespace {

// Digit value of either case, or -1: the reading of ParseHexNumber.
constexpr int AnyCaseDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

constexpr bool IsBlank(char c) noexcept {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

std::uint8_t HexNibbleValue(char c) noexcept {
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
  return 14;
}

std::int32_t ParseHexNumber(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;

  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;

  // One past the largest magnitude that fits (2^31, negated): long digit runs
  // stop growing there and saturate below.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = AnyCaseDigit(text[i]);
    if (digit < 0) break;
    magnitude = std::min(magnitude * 16 + digit, kLimit);
  }

  if (negative) {
    return magnitude > std::int64_t{1} << 31 ? std::numeric_limits<std::int32_t>::min()
                                             : static_cast<std::int32_t>(-magnitude);
  }
  return magnitude > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                              : static_cast<std::int32_t>(magnitude);
}

}  // namespace codec
