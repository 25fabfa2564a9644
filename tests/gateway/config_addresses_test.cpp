#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/gateway_config.h"

namespace kelvo_gateway {
namespace {

// "addresses" is on line 6.
ConfigResult WithAddresses(const std::string& written) {
  return ParseGatewayConfig(
      "[broker]\nurl = \"mqtt://broker\"\n[[bus]]\nname = \"r\"\nport = \"tcp://h:1\"\n"
      "addresses = " +
          written + "\n",
      "gw.toml");
}

TEST(GatewayConfigAddresses, ListOrStringInTheOrderGiven) {
  const struct {
    const char* written;
    std::vector<int> addresses;
  } rows[] = {
      {"[3, 1, 2]", {3, 1, 2}},     {"[0, 255]", {0, 255}}, {"\"1-3,60\"", {1, 2, 3, 60}},
      {"\"255,0-1\"", {255, 0, 1}}, {"\"7\"", {7}},
  };
  for (const auto& row : rows) {
    const ConfigResult result = WithAddresses(row.written);
    ASSERT_TRUE(result.config) << row.written << ": " << result.error;
    EXPECT_EQ(result.config->buses.at(0).addresses, row.addresses) << row.written;
  }
}

TEST(GatewayConfigAddresses, RefusedNamingTheFileLineAndKey) {
  const std::string at = "gw.toml: line 6: key \"addresses\" in [[bus]] number 1: ";
  const struct {
    const char* written;
    std::string error;
  } rows[] = {
      {"[4, 4]", at + "address 4 twice"},
      {"\"1-5,3\"", at + "address 3 is listed twice"},
      {"[1, 256]", at + "every address must be a whole number 0-255"},
      {"[-1]", at + "every address must be a whole number 0-255"},
      {"[\"1-3\"]", at + "every address must be a whole number 0-255"},
      {"\"250-256\"", at + "\"250-256\" is not an address 0-255 or a range LOW-HIGH of them"},
      {"\"1, 2\"", at + "\" 2\" is not an address 0-255 or a range LOW-HIGH of them"},
      {"\"9-2\"", at + "range \"9-2\" runs backwards"},
      {"\"\"", at + "is empty: nothing to poll"},
      {"[]", at + "is empty: nothing to poll"},
      {"7", at + "must be a list of numbers, such as [1, 2, 3], or a string such as \"1-50,60\""},
  };
  for (const auto& row : rows) {
    const ConfigResult result = WithAddresses(row.written);
    EXPECT_FALSE(result.config) << row.written;
    EXPECT_EQ(result.error, row.error) << row.written;
  }
}

}  // namespace
}  // namespace kelvo_gateway
