// kelvo-frame: encodes, decodes and checks frames from the command line.
#include <CLI/CLI.hpp>
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/simulate_command.h"

namespace {

constexpr const char* kVersionText = "kelvo-frame " KVZ_VERSION;

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Encodes, decodes and checks the text frames of the battery-management unit's serial protocol.",
      "kelvo-frame"};
  app.set_version_flag("--version", kVersionText, "Print the version and exit");
  app.require_subcommand(1);
  app.failure_message(CLI::FailureMessage::help);
  app.footer("Exit status: 0 success, 1 a frame failed or is not well formed, 2 usage error.");

  std::string address;
  std::string command;
  std::string payload;
  CLI::App* encode = app.add_subcommand("encode", "Print the request frame for ADDRESS, COMMAND and PAYLOAD");
  encode->add_option("ADDRESS", address, "Device address: a signed decimal integer in the 32-bit range")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& text) {
            return kelvo_cli::ParseAddress(text) ? std::string()
                                                 : "not a 32-bit signed decimal integer: " + text;
          },
          "INT32", "ADDRESS"));
  encode->add_option("COMMAND", command, "Command code, hexadecimal, taken as the window takes it")
      ->required();
  encode->add_option("PAYLOAD", payload, "Payload characters, copied as they stand (default: none)");

  std::vector<std::string> decode_frames;
  kelvo_cli::DecodeOptions decode_options;
  CLI::App* decode = app.add_subcommand(
      "decode", "Break each FRAME into labelled fields; with no FRAME, every <...> frame of standard input");
  decode->add_option("FRAME", decode_frames, "Frame text, taken whole");
  CLI::Option* json = decode->add_flag("--json", decode_options.json, "One JSON object a frame");
  decode->add_flag("--gbk", decode_options.gbk, "Write the labels as GBK bytes instead of UTF-8")
      ->excludes(json);

  std::vector<std::string> check_frames;
  CLI::App* check = app.add_subcommand(
      "check", "Tell whether each FRAME is well formed; with no FRAME, every <...> frame of standard input");
  check->add_option("FRAME", check_frames, "Frame text, taken whole");

  kelvo_cli::SimulateOptions simulate_options;
  CLI::App* simulate = kelvo_cli::AddSimulateCommand(app, simulate_options);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kelvo_cli::kUsageError;
  }

  try {
    const kelvo_cli::Streams io;
    if (*encode) return kelvo_cli::RunEncode(*kelvo_cli::ParseAddress(address), command, payload, io);
    if (*decode) return kelvo_cli::RunDecode(decode_frames, decode_options, io);
    if (*simulate) return kelvo_cli::RunSimulate(simulate_options, io);
    return kelvo_cli::RunCheck(check_frames, io);
  } catch (const std::exception& e) {
    std::cerr << "kelvo-frame: " << e.what() << '\n';
    return 1;
  }
}
