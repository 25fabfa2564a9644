#include "link/port_connection.h"

#include <unistd.h>

#include <QFileInfo>
#include <QSerialPort>
#include <QTcpSocket>

#include "system/serial_line.h"

namespace kelvo_link {
namespace {

// How long a TCP connection may take before the server counts as unreachable.
constexpr int kConnectTimeoutMs = 5000;

LinkError FromSocketError(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return LinkError::Refused;
    case QAbstractSocket::HostNotFoundError: return LinkError::HostNotFound;
    default: return LinkError::Other;
  }
}

}  // namespace

QString OpenFailureText(const QString& port, LinkError error, const QString& detail) {
  switch (error) {
    case LinkError::NotFound: return QStringLiteral("%1: no such device").arg(port);
    case LinkError::PermissionDenied:
      return QStringLiteral(
                 "%1: permission denied (serial devices usually belong to the dialout group: "
                 "sudo usermod -aG dialout $USER, then log in again)")
          .arg(port);
    case LinkError::Busy: return QStringLiteral("%1: busy, another program has it open").arg(port);
    case LinkError::Refused: return QStringLiteral("%1: connection refused").arg(port);
    case LinkError::HostNotFound: return QStringLiteral("%1: host not found").arg(port);
    default: return QStringLiteral("%1: %2").arg(port, detail);
  }
}

PortConnection::PortConnection(PortSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
  connect_timer_.setSingleShot(true);
  connect(&connect_timer_, &QTimer::timeout, this, [this] {
    Failed(LinkError::Other, QStringLiteral("no connection after %1 s").arg(kConnectTimeoutMs / 1000));
  });
  reopen_timer_.setSingleShot(true);
  connect(&reopen_timer_, &QTimer::timeout, this, [this] {
    if (state_ == State::Reconnecting) StartOpening();
  });
}

PortConnection::~PortConnection() {
  DropDevice();
}

void PortConnection::Open() {
  if (state_ != State::Closed) return;
  reopening_ = false;
  last_failure_.clear();
  SetState(State::Opening);
  // Even a serial open, which Qt does at once, reports from the event loop.
  QTimer::singleShot(0, this, [this] {
    if (state_ == State::Opening && device_ == nullptr) StartOpening();
  });
}

void PortConnection::Close() {
  reopen_timer_.stop();
  connect_timer_.stop();
  DropDevice();
  SetState(State::Closed);
}

bool PortConnection::Write(const QByteArray& bytes) {
  if (state_ != State::Open || device_ == nullptr) return false;
  if (device_->write(bytes) != bytes.size()) {
    // Reported from the event loop, never from within the caller's write.
    const QString message = QStringLiteral("write failed: %1").arg(device_->errorString());
    QTimer::singleShot(0, this, [this, message] { Lose(message); });
    return false;
  }
  return true;
}

void PortConnection::StartOpening() {
  QString why;
  const std::optional<PortAddress> address = ParsePortAddress(settings_.port, &why);
  if (!address) {
    Failed(LinkError::Other, why);
  } else if (address->tcp) {
    OpenTcp(address->host, address->tcp_port);
  } else {
    OpenSerial(address->path);
  }
}

void PortConnection::OpenSerial(const QString& path) {
  if (!QFileInfo::exists(path)) {
    Failed(LinkError::NotFound, QStringLiteral("no such device"));
    return;
  }
  if (const QString why = kelvo_system::NotASerialPort(path); !why.isEmpty()) {
    Failed(LinkError::Other, why);
    return;
  }
  auto* serial = new QSerialPort(this);
  serial->setPortName(path);
  kelvo_system::SetUpSerialLine(*serial, settings_.baud);
  if (!serial->open(QIODevice::ReadWrite)) {
    const QSerialPort::SerialPortError error = serial->error();
    const QString detail = serial->errorString();
    delete serial;
    if (error == QSerialPort::DeviceNotFoundError) {
      Failed(LinkError::NotFound, detail);
    } else if (error == QSerialPort::PermissionError) {
      // Qt says PermissionError both for the file's permissions and for a
      // device another program holds (its lock, or the exclusive open).
      const bool allowed = ::access(path.toLocal8Bit().constData(), R_OK | W_OK) == 0;
      Failed(allowed ? LinkError::Busy : LinkError::PermissionDenied, detail);
    } else {
      Failed(LinkError::Other,
             kelvo_system::IsTerminal(path) ? detail : QStringLiteral("a device that is not a serial port"));
    }
    return;
  }
  device_ = serial;
  connect(serial, &QSerialPort::readyRead, this, &PortConnection::ReadAll);
  const bool pty = QFileInfo(path).canonicalFilePath().startsWith(QLatin1String("/dev/pts/"));
  connect(serial, &QSerialPort::errorOccurred, this, [this, serial, pty](QSerialPort::SerialPortError error) {
    // Qt's serial port may stop delivering reads after any of these: the
    // only safe answer is to close and open again.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || device_ != serial) return;
    // After a hang-up Qt's text is whatever errno was left behind. A
    // pseudo-terminal goes when the program on its other end closes it.
    if (pty) {
      Lose(QStringLiteral("the other end closed the port"));
    } else if (!QFileInfo::exists(serial->portName())) {
      Lose(QStringLiteral("the device went away"));
    } else {
      Lose(serial->errorString());
    }
  });
  Opened();
}

void PortConnection::OpenTcp(const QString& host, quint16 port) {
  auto* socket = new QTcpSocket(this);
  device_ = socket;
  connect(socket, &QTcpSocket::connected, this, [this, socket] {
    if (device_ != socket) return;
    connect_timer_.stop();
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    Opened();
  });
  connect(socket, &QTcpSocket::readyRead, this, &PortConnection::ReadAll);
  connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
    if (device_ != socket) return;
    if (state_ == State::Open) {
      Lose(error == QAbstractSocket::RemoteHostClosedError ? QStringLiteral("connection closed by the server")
                                                           : socket->errorString());
    } else {
      Failed(FromSocketError(error), socket->errorString());
    }
  });
  connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
    if (device_ == socket && state_ == State::Open) Lose(QStringLiteral("connection closed by the server"));
  });
  connect_timer_.start(kConnectTimeoutMs);
  socket->connectToHost(host, port);
}

void PortConnection::Opened() {
  reopening_ = false;
  last_failure_.clear();
  SetState(State::Open);
  emit opened();
}

void PortConnection::Failed(LinkError error, const QString& message) {
  connect_timer_.stop();
  DropDevice();
  if (reconnect_ms_ > 0) {
    SetState(State::Reconnecting);
    reopen_timer_.start(reconnect_ms_);
  } else {
    SetState(State::Closed);
  }
  if (reopening_) return;
  QString text = OpenFailureText(settings_.port, error, message);
  if (text == last_failure_) return;
  last_failure_ = text;
  emit openFailed(error, text);
}

void PortConnection::Lose(const QString& message) {
  if (state_ != State::Open) return;
  DropDevice();
  if (reconnect_ms_ > 0) {
    reopening_ = true;
    SetState(State::Reconnecting);
    reopen_timer_.start(reconnect_ms_);
  } else {
    SetState(State::Closed);
  }
  emit lost(QStringLiteral("%1: %2").arg(settings_.port, message));
}

void PortConnection::DropDevice() {
  if (device_ == nullptr) return;
  QIODevice* device = device_;
  device_ = nullptr;
  device->disconnect(this);
  device->close();
  // It may be the sender of the signal being handled.
  device->deleteLater();
}

void PortConnection::SetState(State state) {
  if (state_ == state) return;
  state_ = state;
  emit stateChanged(state);
}

void PortConnection::ReadAll() {
  if (device_ == nullptr) return;
  const QByteArray bytes = device_->readAll();
  if (!bytes.isEmpty()) emit received(bytes);
}

}  // namespace kelvo_link
