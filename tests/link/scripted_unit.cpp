#include "scripted_unit.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <stdexcept>

namespace kelvo_link_test {

ScriptedUnit::ScriptedUnit(Transport transport, QObject* parent) : QObject(parent) {
  if (transport == Transport::Tcp) {
    server_ = new QTcpServer(this);
    if (!server_->listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("cannot listen on loopback");
    port_ = QStringLiteral("tcp://127.0.0.1:%1").arg(server_->serverPort());
    connect(server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (client_ != nullptr) client_->deleteLater();
        client_ = socket;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
          if (socket == client_) Received(socket->readAll());
        });
      }
    });
    return;
  }
  char name[64] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  for (const int fd : {master_, slave_}) {
    termios mode{};
    tcgetattr(fd, &mode);
    cfmakeraw(&mode);
    tcsetattr(fd, TCSANOW, &mode);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  port_ = QString::fromLocal8Bit(name);
  readable_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
  writable_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
  writable_->setEnabled(false);
  connect(writable_, &QSocketNotifier::activated, this, &ScriptedUnit::Flush);
  connect(readable_, &QSocketNotifier::activated, this, [this] {
    char chunk[4096];
    const ssize_t got = ::read(master_, chunk, sizeof chunk);
    if (got > 0) Received(QByteArray(chunk, static_cast<qsizetype>(got)));
  });
}

ScriptedUnit::~ScriptedUnit() {
  delete readable_;
  delete writable_;
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
}

void ScriptedUnit::Write(const QByteArray& bytes) {
  WriteRaw(bytes);
}

void ScriptedUnit::Drop() {
  if (server_ != nullptr) {
    if (client_ != nullptr) {
      client_->abort();
      client_->deleteLater();
      client_ = nullptr;
    }
  } else {
    delete readable_;
    delete writable_;
    readable_ = writable_ = nullptr;
    unwritten_.clear();
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
  }
  emit dropped();
}

void ScriptedUnit::Received(const QByteArray& bytes) {
  pending_ += bytes;
  qsizetype end = 0;
  while ((end = pending_.indexOf('>')) >= 0) {
    const qsizetype start = pending_.lastIndexOf('<', end);
    const QByteArray frame = start >= 0 ? pending_.mid(start, end - start + 1) : QByteArray();
    pending_.remove(0, end + 1);
    if (frame.isEmpty()) continue;
    if (answering_ > 0) overlapped_ = true;
    const std::size_t index = static_cast<std::size_t>(requests_.size());
    requests_.append(frame);
    emit requestSeen(frame);
    if (!script_.empty()) Play(script_[std::min(index, script_.size() - 1)]);
  }
}

void ScriptedUnit::Play(const Step& step) {
  if (step.drop) {
    Drop();
    return;
  }
  if (step.pieces.empty()) return;
  ++answering_;
  // Each piece goes out in its own write a few ms after the last, so the
  // client meets the answer in pieces.
  int at = step.delay_ms;
  for (std::size_t i = 0; i < step.pieces.size(); ++i) {
    const bool last = i + 1 == step.pieces.size();
    QTimer::singleShot(at, this, [this, piece = step.pieces[i], last] {
      WriteRaw(piece);
      if (last) --answering_;
    });
    at += 3;
  }
}

void ScriptedUnit::WriteRaw(const QByteArray& bytes) {
  if (client_ != nullptr) {
    client_->write(bytes);
    return;
  }
  if (master_ < 0) return;
  unwritten_ += bytes;
  Flush();
}

void ScriptedUnit::Flush() {
  while (master_ >= 0 && !unwritten_.isEmpty()) {
    const ssize_t put = ::write(master_, unwritten_.constData(), static_cast<std::size_t>(unwritten_.size()));
    if (put <= 0) break;  // the pty is full: go on when the client has read
    unwritten_.remove(0, put);
  }
  writable_->setEnabled(master_ >= 0 && !unwritten_.isEmpty());
}

}  // namespace kelvo_link_test
