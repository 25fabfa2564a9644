#include "system/serial_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSerialPort>

namespace kelvo_system {

void SetUpSerialLine(QSerialPort& port, qint32 baud) {
  port.setBaudRate(baud);
  port.setDataBits(QSerialPort::Data8);
  port.setParity(QSerialPort::NoParity);
  port.setStopBits(QSerialPort::OneStop);
  port.setFlowControl(QSerialPort::NoFlowControl);
}

QString NotASerialPort(const QString& path) {
  struct stat status {};
  if (::stat(path.toLocal8Bit().constData(), &status) != 0) return {};
  if (S_ISREG(status.st_mode)) return QStringLiteral("a regular file, not a serial port");
  if (S_ISDIR(status.st_mode)) return QStringLiteral("a directory, not a serial port");
  if (S_ISFIFO(status.st_mode)) return QStringLiteral("a FIFO, not a serial port");
  if (S_ISSOCK(status.st_mode)) return QStringLiteral("a socket, not a serial port");
  return {};
}

bool IsTerminal(const QString& path) {
  const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  const bool terminal = ::isatty(fd) == 1;
  ::close(fd);
  return terminal;
}

}  // namespace kelvo_system
