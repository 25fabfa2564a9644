// kelvo-frame send: one request, its answer printed as decode prints it.
#pragma once

#include "cli/command_registry.h"

namespace kelvo_cli {

void AddSendCommand(CommandRegistry& registry);

}  // namespace kelvo_cli
