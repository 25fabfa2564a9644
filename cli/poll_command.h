// kelvo-frame poll: one request to each address every interval, every valid
// answer written as a record the moment it arrives.
#pragma once

#include "cli/command_registry.h"

namespace kelvo_cli {

void AddPollCommand(CommandRegistry& registry);

}  // namespace kelvo_cli
