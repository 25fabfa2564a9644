// kelvo-frame: encodes, decodes and checks frames, and talks to the unit.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <new>
#include <sstream>
#include <string>

#include "cli/command_registry.h"
#include "cli/commands.h"
#include "cli/frame_commands.h"
#include "cli/listen_command.h"
#include "cli/message.h"
#include "cli/output.h"
#include "cli/poll_command.h"
#include "cli/ports_command.h"
#include "cli/send_command.h"
#include "cli/simulate_command.h"

namespace {

constexpr const char* kVersionText = "kelvo-frame " KVZ_VERSION;

// Writes what the argument parser had to say (the help, the version, a usage
// error); when that cannot be written, the exit status says so.
int WriteParserText(const std::string& text, int fd, int status) {
  kelvo_cli::Output output(fd);
  output.Text() = text;
  output.Flush();
  return status;
}

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
      "error, 3 link failure, 4 output failed. Each command's --help gives an example; the manual\n"
      "is kelvo-frame(1).");

  kelvo_cli::CommandRegistry commands(app);
  kelvo_cli::AddEncodeCommand(commands);
  kelvo_cli::AddDecodeCommand(commands);
  kelvo_cli::AddCheckCommand(commands);
  kelvo_cli::AddSendCommand(commands);
  kelvo_cli::AddPollCommand(commands);
  kelvo_cli::AddListenCommand(commands);
  kelvo_cli::AddPortsCommand(commands);
  kelvo_cli::SimulateOptions simulate;
  commands.Adopt(kelvo_cli::AddSimulateCommand(app, simulate),
                 [&] { return kelvo_cli::RunSimulate(simulate, {}); });

  const kelvo_cli::Streams io;
  try {
    try {
      app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
      std::ostringstream out;
      std::ostringstream err;
      const int status = app.exit(e, out, err) == 0 ? kelvo_cli::kSuccess : kelvo_cli::kUsageError;
      WriteParserText(err.str(), io.err, status);
      return WriteParserText(out.str(), io.out, status);
    }
    return commands.RunChosen();
  } catch (const std::bad_alloc&) {
    std::cerr << kelvo_cli::MessageLine("out of memory");
  } catch (const std::exception& e) {
    std::cerr << kelvo_cli::MessageLine(e.what());
  }
  return kelvo_cli::kFailed;
}
