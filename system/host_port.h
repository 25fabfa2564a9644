// "HOST:PORT" as addresses are written after their scheme (tcp://, mqtt://),
// taken apart in one place for every program.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kelvo_system {

struct HostPortRules {
  bool port_required = true;
  std::uint16_t lowest_port = 1;  // 0 where it means "pick a free one"
};

enum class HostPortFault {
  None,
  NoPort,           // no ":PORT" where one is required
  UnclosedBracket,  // "[" without "]"
  AfterBracket,     // something other than ":PORT" after "]"
  EmptyPort,        // ":" with nothing after it
  BadPort,          // not decimal digits, or outside lowest_port-65535
};

// The parts point into the text parsed.
struct HostPort {
  // Without brackets, and empty when the text has none: what a host may be
  // (a name, an address, "*") is the caller's to judge. Set on the port
  // faults too, so that a caller may judge the host first.
  std::string_view host;
  std::string_view port_text;         // as written; empty when none
  std::optional<std::uint16_t> port;  // none when no port is given, or on a fault
  HostPortFault fault = HostPortFault::None;

  [[nodiscard]] bool ok() const noexcept { return fault == HostPortFault::None; }
  // Shaped as HOST:PORT, though the port may still be wrong.
  [[nodiscard]] bool shaped() const noexcept {
    return ok() || fault == HostPortFault::EmptyPort || fault == HostPortFault::BadPort;
  }
};

// HOST is everything before the last ":", or stands in brackets when it holds
// colons itself ("[::1]:4001"); PORT is decimal digits only, no sign or blank.
[[nodiscard]] HostPort ParseHostPort(std::string_view text, HostPortRules rules = {});

}  // namespace kelvo_system
