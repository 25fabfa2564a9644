#include "system/host_port.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace kelvo_system {
namespace {

constexpr HostPortRules kPortRequired{};
constexpr HostPortRules kPortOptional{.port_required = false};
constexpr HostPortRules kZeroAllowed{.lowest_port = 0};

// The link's own table (tests/link) covers the plain tcp://HOST:PORT forms;
// these are the rules its callers tell apart.
TEST(ParseHostPort, TakesTheTextApart) {
  const struct {
    const char* what;
    std::string_view text;
    HostPortRules rules;
    HostPortFault fault;
    std::string_view host;
    std::string_view port_text;
    std::optional<int> port;
  } rows[] = {
      {"bracketed, no port", "[::1]", kPortOptional, HostPortFault::None, "::1", "", std::nullopt},
      {"bracketed, port needed", "[::1]", kPortRequired, HostPortFault::NoPort, "::1", "", std::nullopt},
      {"name, no port", "broker", kPortOptional, HostPortFault::None, "broker", "", std::nullopt},
      {"nothing", "", kPortOptional, HostPortFault::None, "", "", std::nullopt},
      {"no host", ":80", kPortRequired, HostPortFault::None, "", "80", 80},
      {"split at the last colon", "fe80::1:80", kPortRequired, HostPortFault::None, "fe80::1", "80", 80},
      {"colon inside brackets", "[fe80::1]:80", kPortRequired, HostPortFault::None, "fe80::1", "80", 80},
      {"leading zeros", "h:00080", kPortRequired, HostPortFault::None, "h", "00080", 80},
      {"port 0 where allowed", "*:0", kZeroAllowed, HostPortFault::None, "*", "0", 0},
      {"port 0", "h:0", kPortRequired, HostPortFault::BadPort, "h", "0", std::nullopt},
      {"too long a port", "h:99999999999999999999", kPortRequired, HostPortFault::BadPort, "h",
       "99999999999999999999", std::nullopt},
      {"trailing blank", "h:80 ", kZeroAllowed, HostPortFault::BadPort, "h", "80 ", std::nullopt},
      {"negative", "h:-1", kZeroAllowed, HostPortFault::BadPort, "h", "-1", std::nullopt},
      {"colon, no port", "h:", kPortOptional, HostPortFault::EmptyPort, "h", "", std::nullopt},
      {"bracket, colon, no port", "[::1]:", kPortOptional, HostPortFault::EmptyPort, "::1", "", std::nullopt},
      {"unclosed bracket", "[::1:80", kPortRequired, HostPortFault::UnclosedBracket, "", "", std::nullopt},
      {"text after the bracket", "[::1]80", kPortOptional, HostPortFault::AfterBracket, "", "", std::nullopt},
  };
  for (const auto& row : rows) {
    const HostPort parts = ParseHostPort(row.text, row.rules);
    EXPECT_EQ(parts.fault, row.fault) << row.what;
    EXPECT_EQ(parts.host, row.host) << row.what;
    EXPECT_EQ(parts.port_text, row.port_text) << row.what;
    EXPECT_EQ(parts.port ? std::optional<int>(*parts.port) : std::nullopt, row.port) << row.what;
    EXPECT_EQ(parts.shaped(), row.fault == HostPortFault::None || row.fault == HostPortFault::EmptyPort ||
                                  row.fault == HostPortFault::BadPort)
        << row.what;
  }
}

}  // namespace
}  // namespace kelvo_system
