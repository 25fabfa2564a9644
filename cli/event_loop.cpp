#include "cli/event_loop.h"

namespace kelvo_cli {

EventLoop::EventLoop() : app_(argc_, argv_) {}

}  // namespace kelvo_cli
