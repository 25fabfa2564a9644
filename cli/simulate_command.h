// kelvo-frame simulate: a simulated battery unit on a pseudo-terminal, a
// serial device or a TCP port, until SIGINT or SIGTERM.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace CLI {
class App;
}

namespace kelvo_cli {

struct SimulateOptions {
  std::string port;    // a serial device path; empty: a new pseudo-terminal
  std::string listen;  // tcp://HOST:PORT instead of a line
  std::string addresses = "0";
  int cells = 16;
  int sensors = 4;
  std::vector<std::string> faults;  // NAME[=VALUE] each
  std::optional<std::uint64_t> seed;
};

// Adds the "simulate" subcommand to `app`, its options parsed into `options`.
CLI::App* AddSimulateCommand(CLI::App& app, SimulateOptions& options);

// Serves the unit until SIGINT or SIGTERM (status 0). The first line of
// standard output is where to connect: the pseudo-terminal's path, the device
// path or the tcp:// address listened on. Status 2 for counts whose answer
// would not fit in a frame, 3 when the line cannot be opened or is lost.
int RunSimulate(const SimulateOptions& options, const Streams& io);

}  // namespace kelvo_cli
