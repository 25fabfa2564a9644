// What kelvo-frame says on standard error starts with its name, so that a
// message read from a pipeline of several programs tells where it came from.
#pragma once

#include <string>
#include <string_view>

namespace kelvo_cli {

// "kelvo-frame: " or, for a command that runs as a program of its own,
// "kelvo-frame simulate: ".
[[nodiscard]] std::string MessagePrefix(std::string_view command = {});

// The prefix, `text` and a line end.
[[nodiscard]] std::string MessageLine(std::string_view text, std::string_view command = {});

// "cannot write to standard output: No space left on device", for errno `error`.
[[nodiscard]] std::string OutputFailureText(int error);

}  // namespace kelvo_cli
