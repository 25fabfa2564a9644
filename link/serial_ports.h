// The serial ports of this machine, as the system lists them.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace kelvo_link {

struct SerialPortEntry {
  QString path;  // /dev/ttyUSB0, ...
  QString description;
  QString manufacturer;
  QString serial;
  std::optional<quint16> vid;  // USB vendor and product ids, when the port is on USB
  std::optional<quint16> pid;
};

// Sorted by path. Pseudo-terminals are not listed; an empty list is no error.
[[nodiscard]] std::vector<SerialPortEntry> ListSerialPorts();

}  // namespace kelvo_link
