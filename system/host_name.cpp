#include "system/host_name.h"

#include <unistd.h>

namespace kelvo_system {

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

}  // namespace kelvo_system
