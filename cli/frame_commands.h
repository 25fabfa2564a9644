// Registers encode, decode and check: the commands that work on frame texts
// alone and start no event loop.
#pragma once

#include "cli/command_registry.h"

namespace kelvo_cli {

void AddEncodeCommand(CommandRegistry& registry);
void AddDecodeCommand(CommandRegistry& registry);
void AddCheckCommand(CommandRegistry& registry);

}  // namespace kelvo_cli
