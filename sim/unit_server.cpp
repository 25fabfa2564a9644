#include "sim/unit_server.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QFileInfo>
#include <QHostAddress>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "sim/unit_channel.h"
#include "system/host_port.h"
#include "system/serial_line.h"

namespace kelvo_sim {
namespace {

// Answers a client has not read yet; past this, further answers are dropped
// rather than kept without bound.
constexpr std::size_t kMaxUnwritten = 64 * 1024;
constexpr qint32 kDeviceBaud = 9600;

QString SystemError(const char* what) {
  return QStringLiteral("%1: %2").arg(what, std::strerror(errno));
}

// "tcp://HOST:PORT" with HOST an IP address ("[...]" for IPv6), "localhost"
// or "*", and PORT 0-65535.
bool ParseListenUrl(const QString& url, QHostAddress& host, quint16& port, QString& why) {
  const QString prefix = QStringLiteral("tcp://");
  const std::string rest = url.mid(prefix.size()).toStdString();
  const kelvo_system::HostPort parts = kelvo_system::ParseHostPort(rest, {.lowest_port = 0});
  if (!url.startsWith(prefix) || !parts.shaped()) {
    why = QStringLiteral("\"%1\" is not tcp://HOST:PORT").arg(url);
    return false;
  }
  if (!parts.port) {
    why = QStringLiteral("\"%1\": the port must be a number from 0 to 65535").arg(url);
    return false;
  }
  const QString host_text = QString::fromUtf8(parts.host);
  if (host_text == QStringLiteral("localhost")) {
    host = QHostAddress(QHostAddress::LocalHost);
  } else if (host_text == QStringLiteral("*")) {
    host = QHostAddress(QHostAddress::Any);
  } else if (!host.setAddress(host_text)) {
    why = QStringLiteral("\"%1\": the host must be an IP address, localhost or *").arg(url);
    return false;
  }
  port = *parts.port;
  return true;
}

}  // namespace

UnitServer::UnitServer(SimulatedUnit unit, Faults faults, QObject* parent)
    : QObject(parent), unit_(std::move(unit)), faults_(faults) {}

UnitServer::~UnitServer() {
  ClosePty();
}

Delivery UnitServer::Handle(std::string_view frame) {
  emit requestSeen(QByteArray(frame.data(), static_cast<qsizetype>(frame.size())));
  return unit_.Deliver(frame, std::chrono::steady_clock::now(), faults_);
}

UnitChannel* UnitServer::NewChannel(std::function<bool(std::string_view)> write, QObject* parent) {
  auto* channel =
      new UnitChannel([this](std::string_view frame) { return Handle(frame); }, std::move(write), parent);
  connect(channel, &UnitChannel::answerWritten, this, &UnitServer::answerSent);
  return channel;
}

void UnitServer::ServeLine(QIODevice* line) {
  UnitChannel* channel = NewChannel(
      [line](std::string_view bytes) {
        if (static_cast<std::size_t>(line->bytesToWrite()) > kMaxUnwritten) return false;
        line->write(bytes.data(), static_cast<qint64>(bytes.size()));
        return true;
      },
      line);
  connect(line, &QIODevice::readyRead, channel, [line, channel] {
    const QByteArray bytes = line->readAll();
    channel->Received(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  });
}

bool UnitServer::ServePty(QString* path_out) {
  ClosePty();
  pty_master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  char name[128] = {};
  if (pty_master_ < 0 || grantpt(pty_master_) != 0 || unlockpt(pty_master_) != 0 ||
      ptsname_r(pty_master_, name, sizeof name) != 0) {
    error_ = SystemError("cannot create a pseudo-terminal");
    ClosePty();
    return false;
  }
  pty_slave_ = ::open(name, O_RDWR | O_NOCTTY);
  termios raw{};
  if (pty_slave_ < 0 || tcgetattr(pty_slave_, &raw) != 0) {
    error_ = SystemError("cannot open the pseudo-terminal");
    ClosePty();
    return false;
  }
  cfmakeraw(&raw);
  tcsetattr(pty_slave_, TCSANOW, &raw);

  pty_channel_ = NewChannel([this](std::string_view bytes) { return WritePty(bytes); }, this);
  pty_readable_ = new QSocketNotifier(pty_master_, QSocketNotifier::Read, this);
  connect(pty_readable_, &QSocketNotifier::activated, this, &UnitServer::ReadPty);
  pty_writable_ = new QSocketNotifier(pty_master_, QSocketNotifier::Write, this);
  pty_writable_->setEnabled(false);
  connect(pty_writable_, &QSocketNotifier::activated, this, &UnitServer::FlushPty);
  if (path_out) *path_out = QString::fromLocal8Bit(name);
  return true;
}

void UnitServer::ReadPty() {
  char buffer[4096];
  while (true) {
    const ssize_t got = ::read(pty_master_, buffer, sizeof buffer);
    if (got > 0) {
      pty_channel_->Received(std::string_view(buffer, static_cast<std::size_t>(got)));
      if (static_cast<std::size_t>(got) < sizeof buffer) return;  // drained: spare the call that says so
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return;  // EAGAIN: all read
  }
}

bool UnitServer::WritePty(std::string_view bytes) {
  if (!pty_unwritten_.empty()) {
    if (pty_unwritten_.size() + bytes.size() > kMaxUnwritten) return false;
    pty_unwritten_.append(bytes);
    return true;
  }
  while (!bytes.empty()) {
    const ssize_t put = ::write(pty_master_, bytes.data(), bytes.size());
    if (put > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(put));
    } else if (put < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // the client is not reading: keep the rest until it does
    }
  }
  if (bytes.empty()) return true;
  pty_unwritten_.assign(bytes);
  pty_writable_->setEnabled(true);
  return true;
}

void UnitServer::FlushPty() {
  const std::string rest = std::move(pty_unwritten_);
  pty_unwritten_.clear();
  pty_writable_->setEnabled(false);
  WritePty(rest);
}

void UnitServer::ClosePty() {
  delete pty_readable_;
  delete pty_writable_;
  delete pty_channel_;
  pty_readable_ = pty_writable_ = nullptr;
  pty_channel_ = nullptr;
  pty_unwritten_.clear();
  if (pty_slave_ >= 0) ::close(pty_slave_);
  if (pty_master_ >= 0) ::close(pty_master_);
  pty_slave_ = pty_master_ = -1;
}

bool UnitServer::ServeDevice(const QString& path) {
  if (path.isEmpty() || !QFileInfo::exists(path)) {
    error_ =
        QStringLiteral("cannot open %1: no such device").arg(path.isEmpty() ? QStringLiteral("\"\"") : path);
    return false;
  }
  if (const QString why = kelvo_system::NotASerialPort(path); !why.isEmpty()) {
    error_ = QStringLiteral("cannot open %1: %2").arg(path, why);
    return false;
  }
  delete device_;
  device_ = new QSerialPort(path, this);
  kelvo_system::SetUpSerialLine(*device_, kDeviceBaud);
  if (!device_->open(QIODevice::ReadWrite)) {
    error_ =
        QStringLiteral("cannot open %1: %2")
            .arg(path, kelvo_system::IsTerminal(path) ? device_->errorString()
                                                      : QStringLiteral("a device that is not a serial port"));
    if (device_->error() == QSerialPort::PermissionError) {
      error_ += QStringLiteral(" (you may need to be in the dialout group)");
    }
    delete device_;
    device_ = nullptr;
    return false;
  }
  QSerialPort* port = device_;
  ServeLine(port);
  connect(port, &QSerialPort::errorOccurred, this, [this, port, path](QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
    const QString message = QStringLiteral("%1 (%2)").arg(path, port->errorString());
    port->close();
    emit lineLost(message);
  });
  return true;
}

std::optional<QString> ListenAddressProblem(const QString& tcp_url) {
  QHostAddress host;
  quint16 port = 0;
  QString why;
  if (ParseListenUrl(tcp_url, host, port, why)) return std::nullopt;
  return why;
}

bool UnitServer::Listen(const QString& tcp_url) {
  QHostAddress host;
  quint16 port = 0;
  if (!ParseListenUrl(tcp_url, host, port, error_)) return false;
  delete tcp_;
  tcp_ = new QTcpServer(this);
  if (!tcp_->listen(host, port)) {
    error_ = QStringLiteral("cannot listen on %1: %2").arg(tcp_url, tcp_->errorString());
    delete tcp_;
    tcp_ = nullptr;
    return false;
  }
  connect(tcp_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = tcp_->nextPendingConnection()) {
      socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
      ServeLine(socket);
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
  return true;
}

quint16 UnitServer::tcpPort() const {
  return tcp_ ? tcp_->serverPort() : 0;
}

QString UnitServer::listenAddress() const {
  if (!tcp_) return {};
  const QHostAddress address = tcp_->serverAddress();
  const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                           ? QStringLiteral("[%1]").arg(address.toString())
                           : address.toString();
  return QStringLiteral("tcp://%1:%2").arg(host).arg(tcp_->serverPort());
}

}  // namespace kelvo_sim
