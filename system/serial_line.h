// How every serial line to a unit is set: the units speak 8N1 without flow
// control, at a baud rate of their own.
#pragma once

#include <QString>
#include <QtGlobal>

class QSerialPort;

namespace kelvo_system {

// Sets `port` (before it is opened) to `baud`, 8 data bits, no parity, one
// stop bit and no flow control.
void SetUpSerialLine(QSerialPort& port, qint32 baud);

// Why the existing `path` cannot be a serial port ("a regular file, not a
// serial port"); empty when it may be one.
[[nodiscard]] QString NotASerialPort(const QString& path);

// Whether `path` opens as a terminal. It opens the device, so ask only once
// an open has failed, where a probe cannot disturb a working line; true when
// it cannot tell.
[[nodiscard]] bool IsTerminal(const QString& path);

}  // namespace kelvo_system
