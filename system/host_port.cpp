#include "system/host_port.h"

namespace kelvo_system {
namespace {

constexpr std::uint32_t kHighestPort = 65535;

std::optional<std::uint16_t> ReadPort(std::string_view digits, std::uint16_t lowest) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > kHighestPort) return std::nullopt;  // also keeps the sum from overflowing
  }
  if (value < lowest) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

}  // namespace

HostPort ParseHostPort(std::string_view text, HostPortRules rules) {
  HostPort parts;
  std::string_view after_host;  // ":PORT", or empty
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) {
      parts.fault = HostPortFault::UnclosedBracket;
      return parts;
    }
    after_host = text.substr(close + 1);
    if (!after_host.empty() && after_host.front() != ':') {
      parts.fault = HostPortFault::AfterBracket;
      return parts;
    }
    parts.host = text.substr(1, close - 1);
  } else {
    const std::size_t colon = text.rfind(':');
    parts.host = text.substr(0, colon);
    if (colon != std::string_view::npos) after_host = text.substr(colon);
  }

  if (after_host.empty()) {
    if (rules.port_required) parts.fault = HostPortFault::NoPort;
    return parts;
  }
  parts.port_text = after_host.substr(1);
  if (parts.port_text.empty()) {
    parts.fault = HostPortFault::EmptyPort;
    return parts;
  }
  parts.port = ReadPort(parts.port_text, rules.lowest_port);
  if (!parts.port) parts.fault = HostPortFault::BadPort;
  return parts;
}

}  // namespace kelvo_system
