#include "codec/frame_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace {

using codec::FrameCheck8;

// The register update one bit at a time, straight from the polynomial.
std::uint8_t BitwiseCheck(std::string_view run) {
  unsigned c = 0xCC;
  for (const char ch : run) {
    c ^= static_cast<unsigned char>(ch);
    for (int bit = 0; bit < 8; ++bit) c = ((c & 0x80) ? (c << 1) ^ 0x31 : c << 1) & 0xFF;
  }
  return static_cast<std::uint8_t>(c);
}

TEST(FrameCheck8, WorkedValues) {
  const struct {
    std::string_view run;
    std::uint8_t check;
  } cases[] = {
      {"1130065040026", 0x8D},  // Request with the default inputs.
      {"0B30065", 0x3F},        // Same command, no payload.
      {"0B30186", 0x47},
      {"0B30086", 0x01},  // Below 0x10.
      {"abc", 0xF5},
      {"123456789", 0xE6},  // The parameter model's check value.
      {"", 0xCC},           // Empty run: the initial value.
  };
  for (const auto& c : cases) EXPECT_EQ(FrameCheck8(c.run), c.check) << c.run;
}

TEST(FrameCheck8, AgreesWithBitwiseOverRandomRuns) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> byte(0, 255);
  // Every length up to 300 crosses each boundary of the eight-byte blocks.
  for (std::size_t length = 0; length <= 300; ++length) {
    for (int round = 0; round < 8; ++round) {
      std::string run(length, '\0');
      for (char& c : run) c = static_cast<char>(byte(random));
      ASSERT_EQ(FrameCheck8(run), BitwiseCheck(run)) << "length " << length;
    }
  }
}

TEST(FrameCheck8, EveryByteAloneAgreesWithBitwise) {
  for (int code = 0; code < 256; ++code) {
    const std::string run(1, static_cast<char>(code));
    EXPECT_EQ(FrameCheck8(run), BitwiseCheck(run)) << code;
  }
}

}  // namespace
