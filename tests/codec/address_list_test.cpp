#include "codec/address_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace codec {
namespace {

TEST(ParseAddressList, NumbersAndRangesInTheOrderGiven) {
  const struct {
    const char* text;
    std::vector<int> addresses;
  } rows[] = {
      {"0", {0}},
      {"255", {255}},
      {"007", {7}},
      {"1-5,60", {1, 2, 3, 4, 5, 60}},
      {"60,1-3", {60, 1, 2, 3}},
      {"7-7", {7}},
      {"254-255,0", {254, 255, 0}},
  };
  for (const auto& row : rows) {
    const auto parsed = ParseAddressList(row.text);
    ASSERT_TRUE(parsed) << row.text;
    EXPECT_EQ(*parsed, row.addresses) << row.text;
  }
  EXPECT_EQ(ParseAddressList("0-255")->size(), 256u);
}

TEST(ParseAddressList, RefusesWithAReason) {
  const struct {
    const char* text;
    const char* reason;  // a part of it
  } rows[] = {
      {"", "\"\" is not an address"},
      {",", "is not an address"},
      {"1,", "is not an address"},
      {",1", "is not an address"},
      {"1,,2", "is not an address"},
      {"256", "\"256\" is not an address"},
      {"1000", "is not an address"},
      {"-1", "is not an address"},
      {"+1", "is not an address"},
      {" 1", "is not an address"},
      {"1 ", "is not an address"},
      {"0x10", "is not an address"},
      {"1.5", "is not an address"},
      {"1-", "is not an address"},
      {"1--3", "is not an address"},
      {"1-2-3", "is not an address"},
      {"5-3", "range \"5-3\" runs backwards"},
      {"1,1", "address 1 is listed twice"},
      {"1-3,2", "address 2 is listed twice"},
  };
  for (const auto& row : rows) {
    std::string why;
    EXPECT_FALSE(ParseAddressList(row.text, &why)) << row.text;
    EXPECT_NE(why.find(row.reason), std::string::npos) << row.text << ": " << why;
  }
}

}  // namespace
}  // namespace codec
