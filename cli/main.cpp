// kelvo-frame: encodes, decodes and checks frames, and talks to the unit.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "cli/command_registry.h"
#include "cli/commands.h"
#include "cli/frame_commands.h"
#include "cli/listen_command.h"
#include "cli/poll_command.h"
#include "cli/ports_command.h"
#include "cli/send_command.h"
#include "cli/simulate_command.h"

namespace {

constexpr const char* kVersionText = "kelvo-frame " KVZ_VERSION;

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Encodes, decodes and checks the text frames of the battery-management unit's serial protocol,\n"
      "and talks to the unit over a serial port or TCP.",
      "kelvo-frame"};
  app.set_version_flag("--version", kVersionText, "Print the version and exit");
  app.require_subcommand(1);
  app.failure_message(CLI::FailureMessage::help);
  app.footer(
      "Exit status: 0 success, 1 a frame failed or is not well formed (or no valid answer), 2 usage\n"
      "error, 3 link failure. Each command's --help gives an example.");

  kelvo_cli::CommandRegistry commands(app);
  kelvo_cli::AddEncodeCommand(commands);
  kelvo_cli::AddDecodeCommand(commands);
  kelvo_cli::AddCheckCommand(commands);
  kelvo_cli::AddSendCommand(commands);
  kelvo_cli::AddPollCommand(commands);
  kelvo_cli::AddListenCommand(commands);
  kelvo_cli::AddPortsCommand(commands);

  kelvo_cli::SimulateOptions simulate_options;
  CLI::App* simulate = kelvo_cli::AddSimulateCommand(app, simulate_options);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kelvo_cli::kUsageError;
  }

  try {
    if (*simulate) return kelvo_cli::RunSimulate(simulate_options, kelvo_cli::Streams{});
    return commands.RunChosen();
  } catch (const std::exception& e) {
    std::cerr << "kelvo-frame: " << e.what() << '\n';
    return 1;
  }
}
