// Why a port could not be opened, or was lost.
#pragma once

namespace kelvo_link {

enum class LinkError {
  None,
  NotFound,          // no such device, or it vanished
  PermissionDenied,  // the device's permissions (the dialout group, usually)
  Busy,              // another program has the device open
  Refused,           // nothing listens on the TCP port
  HostNotFound,      // the TCP host name does not resolve
  Lost,              // read or resource error, device gone, TCP closed
  Other,
};

}  // namespace kelvo_link
