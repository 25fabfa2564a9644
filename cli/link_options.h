// The options every command that talks to a port shares: --port, --baud and,
// for exchanges, --timeout and --retries.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "cli/exit_status.h"
#include "link/link_client.h"
#include "link/port_settings.h"

namespace kelvo_cli {

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
