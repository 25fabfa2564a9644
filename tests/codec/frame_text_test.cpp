#include "codec/frame_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using codec::HexDigit;
using codec::HexNibbleValue;
using codec::ParseHexNumber;

TEST(HexDigit, WritesTheLowNibbleInUpperCase) {
  const std::string_view digits = "0123456789ABCDEF";
  for (int value = -300; value <= 300; ++value) {
    EXPECT_EQ(HexDigit(value), digits[static_cast<unsigned>(value) & 0xF]) << value;
  }
  EXPECT_EQ(HexDigit(10), 'A');    // Never lower case.
  EXPECT_EQ(HexDigit(0x1F), 'F');  // Only the low 4 bits count.
  EXPECT_EQ(HexDigit(INT_MIN), '0');
}

TEST(WriteHexField, WritesLowByteHighNibbleFirst) {
  const struct {
    int value;
    std::string_view field;
  } cases[] = {{0x2C, "2C"}, {256, "00"}, {-1, "FF"}, {300, "2C"}, {0x0F, "0F"}, {INT_MAX, "FF"}};
  for (const auto& c : cases) {
    char out[3] = {'.', '.', '.'};
    EXPECT_EQ(codec::WriteHexField(out, c.value), out + 2);
    EXPECT_EQ(std::string_view(out, 2), c.field) << c.value;
    EXPECT_EQ(out[2], '.');  // Writes exactly two characters.
  }
}

TEST(HexNibbleValue, ReadsUpperCaseDigitsAndFourteenForAllElse) {
  const std::string_view digits = "0123456789ABCDEF";
  for (int code = 0; code < 256; ++code) {
    const char c = static_cast<char>(code);
    const auto at = digits.find(c);
    const int expected = at != std::string_view::npos ? static_cast<int>(at) : 14;
    EXPECT_EQ(HexNibbleValue(c), expected) << "code " << code;
  }
}

TEST(ParseHexNumber, ReadsLikeBase16Strtol) {
  const struct {
    std::string_view text;
    std::int32_t value;
  } cases[] = {
      {"65", 0x65},
      {"0x86", 0x86},
      {"0X86", 0x86},
      {"186", 0x186},
      {"", 0},
      {"zz", 0},
      {"0x", 0},  // Prefix without digits.
      {"0xg", 0},
      {"-1", -1},
      {"1G", 1},  // Stops at the first non-digit.
      {" 1f", 31},
      {"-0x1f", -31},
      {"+1f", 31},
      {"\t\n\v\f\r 2", 2},  // Every blank is skipped...
      {"\x1f"
       "2",
       0},         // ...and nothing else.
      {"- 1", 0},  // No blank after the sign.
      {"+-1", 0},  // One sign only.
      {"8g", 8},
      {"e6", 0xE6},
      {"\xB0"
       "1",
       0},  // Codes from 0x80 up are never digits.
      {"1\xB0", 1},
      {std::string_view("1\0"
                        "2",
                        3),
       1},  // NUL ends the number.
      {"7FFFFFFF", INT32_MAX},
      {"80000000", INT32_MAX},  // Saturates.
      {"FFFFFFFFF", INT32_MAX},
      {"123456789", INT32_MAX},
      {"-80000000", INT32_MIN},
      {"-80000001", INT32_MIN},
      {"-7FFFFFFF", -INT32_MAX},
      {"00000000000000000000000042", 0x42},  // Leading zeros never overflow.
      {"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", INT32_MAX},
      {"-FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseHexNumber(c.text), c.value) << "text \"" << c.text << '"';
}

}  // namespace
