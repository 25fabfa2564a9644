#include "http_receiver.h"

#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>

namespace kelvo_gateway_test {

// The sockets go with the server, after the members they tell of their end.
HttpReceiver::~HttpReceiver() {
  for (const auto& [socket, buffer] : buffers_) socket->disconnect(this);
}

bool HttpReceiver::Listen(int port) {
  return Serve(std::make_unique<QTcpServer>(), port);
}

bool HttpReceiver::ListenTls(const QString& certificate_file, const QString& key_file) {
  QFile key(key_file);
  if (!key.open(QIODevice::ReadOnly)) return false;
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setPeerVerifyMode(QSslSocket::VerifyNone);  // no client certificates
  tls.setLocalCertificateChain(QSslCertificate::fromPath(certificate_file));
  tls.setPrivateKey(QSslKey(&key, QSsl::Ec));
  auto server = std::make_unique<QSslServer>();
  server->setSslConfiguration(tls);
  tls_ = true;
  return Serve(std::move(server), 0);
}

bool HttpReceiver::Serve(std::unique_ptr<QTcpServer> server, int port) {
  // A connection counts once it is ready for requests: after the handshake over TLS.
  connect(server.get(), &QTcpServer::pendingConnectionAvailable, this, &HttpReceiver::OnConnection);
  if (!server->listen(QHostAddress::LocalHost, static_cast<quint16>(port))) return false;
  port_ = server->serverPort();
  server_ = std::move(server);
  return true;
}

void HttpReceiver::Close() {
  if (server_) server_->close();
  std::vector<QTcpSocket*> open;
  for (const auto& [socket, buffer] : buffers_) open.push_back(socket);
  for (QTcpSocket* socket : open) socket->abort();
}

void HttpReceiver::OnConnection() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    buffers_[socket];
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnData(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
      // A client that gave up on a held request.
      const auto gone = std::remove_if(held_.begin(), held_.end(),
                                       [socket](const QPointer<QTcpSocket>& s) { return s == socket; });
      outstanding_ -= static_cast<int>(held_.end() - gone);
      held_.erase(gone, held_.end());
      buffers_.erase(socket);
      socket->deleteLater();
    });
  }
}

void HttpReceiver::OnData(QTcpSocket* socket) {
  QByteArray& buffer = buffers_[socket];
  buffer += socket->readAll();
  for (;;) {
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) return;
    HttpRequest request;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    const QList<QByteArray> first = lines.front().trimmed().split(' ');
    if (first.size() >= 2) {
      request.method = first[0];
      request.path = first[1];
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const qsizetype colon = lines[i].indexOf(':');
      if (colon > 0)
        request.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    const qsizetype length = request.headers["content-length"].toLongLong();
    if (buffer.size() < end + 4 + length) return;
    request.body = buffer.mid(end + 4, length);
    buffer.remove(0, end + 4 + length);
    requests_.push_back(std::move(request));
    most_outstanding_ = std::max(most_outstanding_, ++outstanding_);
    int status = 200;
    if (!statuses_.empty()) {
      status = statuses_.front();
      statuses_.pop_front();
    }
    if (status == kHold) {
      held_.emplace_back(socket);
    } else if (status == kClose) {
      --outstanding_;
      emit requestArrived();
      socket->abort();
      return;
    } else {
      Reply(socket, status);
    }
    emit requestArrived();
  }
}

void HttpReceiver::Reply(QTcpSocket* socket, int status) {
  --outstanding_;
  socket->write("HTTP/1.1 " + QByteArray::number(status) + " Test Answer\r\nContent-Length: 2\r\n\r\nok");
}

void HttpReceiver::Release() {
  std::vector<QPointer<QTcpSocket>> held = std::move(held_);
  held_.clear();
  for (const QPointer<QTcpSocket>& socket : held) {
    if (socket) Reply(socket, 200);
  }
}

}  // namespace kelvo_gateway_test
