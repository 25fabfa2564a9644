#include "system/serial_line.h"

#include <QSerialPort>

namespace kelvo_system {

void SetUpSerialLine(QSerialPort& port, qint32 baud) {
  port.setBaudRate(baud);
  port.setDataBits(QSerialPort::Data8);
  port.setParity(QSerialPort::NoParity);
  port.setStopBits(QSerialPort::OneStop);
  port.setFlowControl(QSerialPort::NoFlowControl);
}

}  // namespace kelvo_system
