// kelvo-frame listen: every frame seen on the line, one line each.
#pragma once

#include "cli/command_registry.h"

namespace kelvo_cli {

void AddListenCommand(CommandRegistry& registry);

}  // namespace kelvo_cli
