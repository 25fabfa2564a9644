// The options every command that talks to a port shares: --port, --baud and,
// for exchanges, --timeout and --retries.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "link/link_client.h"
#include "link/port_settings.h"

namespace kelvo_cli {

// Exit statuses of the commands that use a port.
inline constexpr int kNoAnswer = 1;
inline constexpr int kLinkFailure = 3;

struct PortOptions {
  std::string port;
  int baud = 9600;

  [[nodiscard]] kelvo_link::PortSettings Settings() const { return {QString::fromStdString(port), baud}; }
};

struct ExchangeOptions {
  int timeout_ms = 1000;
  int retries = 2;

  [[nodiscard]] kelvo_link::RequestOptions Request() const { return {timeout_ms, retries}; }
};

// --port (required, checked as a port text) and --baud.
void AddPortOptions(CLI::App& command, PortOptions& options);
// --timeout and --retries.
void AddExchangeOptions(CLI::App& command, ExchangeOptions& options);

}  // namespace kelvo_cli
