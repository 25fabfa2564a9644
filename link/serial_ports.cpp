#include "link/serial_ports.h"

#include <QSerialPortInfo>
#include <algorithm>

namespace kelvo_link {

std::vector<SerialPortEntry> ListSerialPorts() {
  std::vector<SerialPortEntry> entries;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    SerialPortEntry entry;
    entry.path = info.systemLocation();
    entry.description = info.description();
    entry.manufacturer = info.manufacturer();
    entry.serial = info.serialNumber();
    if (info.hasVendorIdentifier()) entry.vid = info.vendorIdentifier();
    if (info.hasProductIdentifier()) entry.pid = info.productIdentifier();
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const SerialPortEntry& a, const SerialPortEntry& b) { return a.path < b.path; });
  return entries;
}

}  // namespace kelvo_link
