#include "cli/frame_commands.h"

#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/profile_option.h"

namespace kelvo_cli {

void AddEncodeCommand(CommandRegistry& registry) {
  struct EncodeOptions {
    std::string address;
    std::string command;
    std::string payload;
  };
  auto options = std::make_shared<EncodeOptions>();
  CLI::App* encode =
      registry.Add("encode", "Print the request frame for ADDRESS, COMMAND and PAYLOAD", [options] {
        return RunEncode(*ParseAddress(options->address), options->command, options->payload, Streams{});
      });
  encode
      ->add_option("ADDRESS", options->address,
                   "Device address: a signed decimal integer in the 32-bit range")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& text) {
            return ParseAddress(text) ? std::string() : "not a 32-bit signed decimal integer: " + text;
          },
          "INT32", "ADDRESS"));
  encode->add_option("COMMAND", options->command, "Command code, hexadecimal, taken as the window takes it")
      ->required();
  encode->add_option("PAYLOAD", options->payload, "Payload characters, copied as they stand (default: none)");
  encode->footer("Example:\n  kelvo-frame encode 0 65 0026      # <11300650400268D>\nSee kelvo-frame(1).");
}

void AddDecodeCommand(CommandRegistry& registry) {
  struct Decode {
    std::vector<std::string> frames;
    DecodeOptions options;
    ProfileOption profile;
  };
  auto decode_args = std::make_shared<Decode>();
  CLI::App* decode = registry.Add(
      "decode", "Break each FRAME into labelled fields; with no FRAME, every <...> frame of standard input",
      [decode_args] {
        const Streams io;
        const std::optional<CommandProfile> profile =
            LoadCommandProfile(decode_args->profile, decode_args->options.json, io.err);
        if (!profile) return kUsageError;
        DecodeOptions options = decode_args->options;
        options.profile = profile->get();
        return RunDecode(decode_args->frames, options, io);
      });
  decode->add_option("FRAME", decode_args->frames, "Frame text, taken whole");
  CLI::Option* json = decode->add_flag("--json", decode_args->options.json,
                                       "One JSON object a frame, with values where it has a layout");
  decode->add_flag("--gbk", decode_args->options.gbk, "Write the labels as GBK bytes instead of UTF-8")
      ->excludes(json);
  AddProfileOption(*decode, decode_args->profile);
  decode->footer(
      "Example:\n"
      "  kelvo-frame decode '<11300650400268D>'\n"
      "  kelvo-frame listen --port /dev/ttyUSB0 | kelvo-frame decode --json\n"
      "See kelvo-frame(1).");
}

void AddCheckCommand(CommandRegistry& registry) {
  auto frames = std::make_shared<std::vector<std::string>>();
  CLI::App* check = registry.Add(
      "check", "Tell whether each FRAME is well formed; with no FRAME, every <...> frame of standard input",
      [frames] { return RunCheck(*frames, Streams{}); });
  check->add_option("FRAME", *frames, "Frame text, taken whole");
  check->footer(
      "Example:\n  kelvo-frame check '<11300650400268D>'\n  kelvo-frame check < capture.log\nSee "
      "kelvo-frame(1).");
}

}  // namespace kelvo_cli
