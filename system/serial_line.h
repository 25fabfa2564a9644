// How every serial line to a unit is set: the units speak 8N1 without flow
// control, at a baud rate of their own.
#pragma once

#include <QtGlobal>

class QSerialPort;

namespace kelvo_system {

// Sets `port` (before it is opened) to `baud`, 8 data bits, no parity, one
// stop bit and no flow control.
void SetUpSerialLine(QSerialPort& port, qint32 baud);

}  // namespace kelvo_system
