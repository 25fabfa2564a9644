#include "codec/request_builder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using codec::EncodeRequest;

constexpr std::string_view kLengthError = "length error, too long!!";

struct Request {
  std::int32_t address;
  std::string_view command;
  std::string payload;
  std::string_view frame;
};

TEST(EncodeRequest, WorkedResults) {
  const Request cases[] = {
      {0, "65", "0026", "<11300650400268D>"},  // The window's start-up values.
      {0, "65", "", "<0B300653F>"},
      {1, "0x86", "", "<0B3018647>"},
      {0, "86", "", "<0B3008601>"},  // Check value below 0x10 keeps its "0".
      {0, "65", "0", "<0E300650106A>"},
      {0, "65", "xyz", "<103006503xyzC1>"},  // Not hex: copied and counted all the same.
      {-1, "186", "0026", "<113FF8604002632>"},
      {256, "FFFFFFFFF", "0026", "<11300FF040026E4>"},
      {300, "8", "", "<0B32C08CB>"},
      {0, "65", "00ab", "<11300650400abFD>"},  // Case enters the check value as it stands.
      {0, "65", "00AB", "<11300650400ABA7>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeRequest(c.address, c.command, c.payload), c.frame)
        << c.address << " \"" << c.command << "\" \"" << c.payload << '"';
  }
}

TEST(EncodeRequest, CommandTextBecomesItsLowByte) {
  const struct {
    std::string_view command;
    std::string_view field;
  } cases[] = {
      {"65", "65"},        {"86", "86"},        {"0x86", "86"}, {"0X86", "86"}, {"186", "86"},
      {"", "00"},          {"zz", "00"},        {"8g", "08"},   {"-1", "FF"},   {"80000000", "FF"},
      {"FFFFFFFFF", "FF"}, {"123456789", "FF"},  // Saturated, not the last two digits.
      {"-80000001", "00"}, {" e6", "E6"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeRequest(0, c.command, "").substr(6, 2), c.field) << '"' << c.command << '"';
  }
}

TEST(EncodeRequest, AddressBecomesItsLowByte) {
  const struct {
    std::int32_t address;
    std::string_view field;
  } cases[] = {{0, "00"},  {255, "FF"},     {256, "00"},    {300, "2C"},
               {-1, "FF"}, {INT_MIN, "00"}, {INT_MAX, "FF"}};
  for (const auto& c : cases)
    EXPECT_EQ(EncodeRequest(c.address, "65", "").substr(4, 2), c.field) << c.address;
}

TEST(EncodeRequest, LengthLimit) {
  const std::string longest(227, 'A');
  const std::string frame = EncodeRequest(0, "65", longest);
  ASSERT_EQ(frame.size(), 240u);
  EXPECT_EQ(frame.substr(0, 10), "<F030065E3");
  EXPECT_EQ(frame.substr(10, 227), longest);
  EXPECT_EQ(frame.substr(237), "3C>");

  EXPECT_EQ(EncodeRequest(0, "65", std::string(228, 'A')), kLengthError);
  EXPECT_EQ(EncodeRequest(0, "65", std::string(100000, '0')), kLengthError);
}

// Whatever the payload, it enters the frame and its check value unchanged.
TEST(EncodeRequest, PayloadIsCopiedByteForByte) {
  using namespace std::string_view_literals;
  const struct {
    std::string_view payload;
    std::string_view frame;
  } cases[] = {
      {"1"sv, "<0E30742011CA>"sv},
      // A line break from a multi-line box counts both characters.
      {"0026\r\n0027"sv, "<17307420A0026\r\n002716>"sv},
      // Spaces, lower case, letters past F, odd length.
      {"00 ab GZ 123"sv, "<19307420C00 ab GZ 1234B>"sv},
      // NUL and high bytes; check value "25", escaped apart from them.
      {"\0\xFF\x80"sv, "<103074203\0\xFF\x80\x32\x35>"sv},
      // Two GBK characters count four; check value "DE".
      {"\xC9\xE8\xB1\xB8"sv, "<113074204\xC9\xE8\xB1\xB8\x44\x45>"sv},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeRequest(7, "42", c.payload), c.frame) << c.frame;
}

}  // namespace
