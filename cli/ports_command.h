// kelvo-frame ports: the serial ports of this machine.
#pragma once

#include "cli/command_registry.h"

namespace kelvo_cli {

void AddPortsCommand(CommandRegistry& registry);

}  // namespace kelvo_cli
