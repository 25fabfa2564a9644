// The machine's name, for the default client ids of the programs that talk to a broker.
#pragma once

#include <string>

namespace kelvo_system {

// The host name the system gives, or "localhost" where it gives none.
[[nodiscard]] std::string HostName();

}  // namespace kelvo_system
