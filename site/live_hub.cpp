#include "site/live_hub.h"

#include <QTcpSocket>
#include <QWebSocket>
#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>

namespace kelvo_site {
namespace {

// A close frame with an application's code (4000-4999), which Qt's CloseCode
// enum cannot carry: written whole on the connection, as the server's frames
// go unmasked: FIN + close, the length, the code, the reason.
QByteArray CloseFrame(int code, QByteArrayView reason) {
  QByteArray frame;
  frame += static_cast<char>(0x88);
  frame += static_cast<char>(2 + reason.size());  // under 126: one byte
  frame += static_cast<char>((code >> 8) & 0xff);
  frame += static_cast<char>(code & 0xff);
  frame += reason;
  return frame;
}

}  // namespace

struct LiveHub::Client {
  QWebSocket* socket = nullptr;
  QPointer<QTcpSocket> tcp;
  bool admitted = false;
  QTimer deadline;
};

LiveHub::LiveHub(std::function<std::string()> hello, std::function<bool(const std::string&)> token_ok,
                 QObject* parent)
    : QObject(parent),
      hello_(std::move(hello)),
      token_ok_(std::move(token_ok)),
      server_("kelvo-site", QWebSocketServer::NonSecureMode) {
  connect(&server_, &QWebSocketServer::newConnection, this, &LiveHub::OnConnection);
  // The page sends one short message, its token.
  server_.setMaxPendingConnections(kMaxClients);
  server_.setHandshakeTimeout(std::chrono::milliseconds(kTokenMs));
}

LiveHub::~LiveHub() {
  for (const auto& client : clients_) {
    client->socket->disconnect(this);
    client->socket->abort();
    delete client->socket;
  }
}

bool LiveHub::full() const {
  return std::count_if(tcp_.begin(), tcp_.end(), [](const auto& entry) { return !entry.second.isNull(); }) >=
         kMaxClients;
}

void LiveHub::Take(QTcpSocket* socket) {
  std::erase_if(tcp_, [](const auto& entry) { return entry.second.isNull(); });
  if (full()) {
    const QByteArray body = "{\"error\":\"too many live connections; try again later\"}";
    socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    return;
  }
  // Owned here, the handshake's and its QWebSocket's time; counted while it lives.
  socket->setParent(this);
  tcp_[{socket->peerAddress().toString(), socket->peerPort()}] = socket;
  // A handshake that fails leaves the socket to us. (Once upgraded, its
  // QWebSocket drops every connection to its signals, this one included.)
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  server_.handleConnection(socket);
}

void LiveHub::OnConnection() {
  while (QWebSocket* socket = server_.nextPendingConnection()) {
    socket->setParent(this);
    socket->setMaxAllowedIncomingMessageSize(kMaxTokenMessage);
    socket->setMaxAllowedIncomingFrameSize(kMaxTokenMessage);
    auto client = std::make_unique<Client>();
    client->socket = socket;
    client->tcp = TcpOf(socket);
    Client* c = client.get();
    clients_.push_back(std::move(client));
    c->deadline.setSingleShot(true);
    connect(&c->deadline, &QTimer::timeout, socket, [this, socket] { Refuse(socket, "no token"); });
    c->deadline.start(kTokenMs);
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, c](const QString& text) { OnText(c, text); });
    connect(socket, &QWebSocket::binaryMessageReceived, socket,
            [socket] { socket->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported, "text only"); });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] { Drop(socket); });
  }
}

QPointer<QTcpSocket> LiveHub::TcpOf(QWebSocket* socket) const {
  const auto it = tcp_.find({socket->peerAddress().toString(), socket->peerPort()});
  return it == tcp_.end() ? nullptr : it->second;
}

void LiveHub::Refuse(QWebSocket* socket, QByteArrayView reason) {
  const QPointer<QTcpSocket> tcp = TcpOf(socket);
  if (tcp.isNull()) {
    socket->close(QWebSocketProtocol::CloseCodePolicyViolated, reason.toByteArray());
    return;
  }
  tcp->write(CloseFrame(kUnauthorized, reason));
  tcp->disconnectFromHost();
}

void LiveHub::OnText(Client* client, const QString& text) {
  if (client->admitted) return;  // the page says nothing after its token
  client->deadline.stop();
  const nlohmann::json message = nlohmann::json::parse(text.toStdString(), nullptr, false);
  std::string token;
  bool shaped = message.is_object();
  if (shaped && message.contains("token")) {
    shaped = message["token"].is_string();
    if (shaped) token = message["token"].get<std::string>();
  }
  if (!shaped || !token_ok_(token)) {
    Refuse(client->socket, "wrong token");
    return;
  }
  client->admitted = true;
  client->socket->sendTextMessage(QString::fromStdString(hello_()));
}

void LiveHub::Broadcast(const std::string& text) {
  const QString message = QString::fromStdString(text);
  std::vector<QWebSocket*> slow;
  for (const auto& client : clients_) {
    if (!client->admitted) continue;
    client->socket->sendTextMessage(message);
    if (client->socket->bytesToWrite() > kMaxUnsent) slow.push_back(client->socket);
  }
  for (QWebSocket* socket : slow) {
    ++closed_slow_;
    socket->abort();
  }
}

void LiveHub::Drop(QWebSocket* socket) {
  const auto it = std::find_if(clients_.begin(), clients_.end(),
                               [socket](const auto& client) { return client->socket == socket; });
  if (it == clients_.end()) return;
  const QPointer<QTcpSocket> tcp = (*it)->tcp;
  clients_.erase(it);
  socket->disconnect(this);
  // The connection outlives its QWebSocket, which does not own it: it goes
  // after it, unless the QWebSocket took it along.
  connect(socket, &QObject::destroyed, this, [tcp] {
    if (tcp) tcp->deleteLater();
  });
  socket->deleteLater();
}

}  // namespace kelvo_site
