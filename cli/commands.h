// The frame commands of kelvo-frame (encode, decode, check), apart from
// argument parsing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/exit_status.h"
#include "profile/profile.h"

namespace kelvo_cli {

// Where a command reads and writes: file descriptors, so tests can redirect them.
struct Streams {
  int in = 0;
  int out = 1;
  int err = 2;
};

// A signed decimal integer in the 32-bit range: an optional "+" or "-", then
// digits only. Anything else, blanks included, gives none.
[[nodiscard]] std::optional<std::int32_t> ParseAddress(std::string_view text) noexcept;

// Prints the request frame; the length error text goes to standard error with
// status 1.
int RunEncode(std::int32_t address, std::string_view command, std::string_view payload, const Streams& io);

struct DecodeOptions {
  bool json = false;  // one JSON object a frame instead of the breakdown text
  bool gbk = false;   // the codec's GBK bytes as they are instead of UTF-8
  // JSON objects of frames with a payload layout gain "values"; null: none.
  const kelvo_profile::Profile* profile = nullptr;
};

// Decodes each of `frames`, or with none every "<...>" frame of every line of
// standard input. Returns 1 when any frame failed, else 0.
int RunDecode(const std::vector<std::string>& frames, const DecodeOptions& options, const Streams& io);

// Checks each of `frames`, or with none every "<...>" frame of every line of
// standard input. Returns 1 when any frame is not well formed, else 0.
int RunCheck(const std::vector<std::string>& frames, const Streams& io);

}  // namespace kelvo_cli
