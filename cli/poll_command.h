// kelvo-frame poll: one request to each address every interval, every valid
// answer written as a record the moment it arrives.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "cli/command_registry.h"

namespace kelvo_cli {

void AddPollCommand(CommandRegistry& registry);

// Comma-separated decimal addresses 0-255, in the order given ("0", "1,2,7");
// none for anything else (blanks, empty items, signs, out of range).
[[nodiscard]] std::optional<std::vector<int>> ParsePollAddresses(std::string_view text);

}  // namespace kelvo_cli
