// Where a port stands, for the port itself and for the client on it.
#pragma once

namespace kelvo_link {

enum class LinkState {
  Closed,        // not open, and not being opened
  Opening,       // the first open is under way
  Open,          // frames can be written
  Reconnecting,  // lost, or never opened: tried again every reconnect interval
};

}  // namespace kelvo_link
