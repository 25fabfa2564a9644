#include "site/live_hub.h"

#include <QTcpSocket>
#include <QWebSocket>
#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

namespace kelvo_site {
namespace {

// 4401 is an application's code (4000-4999), which Qt's enum does not list:
// its bits are put in as they are, since a cast outside the enum's range is not.
QWebSocketProtocol::CloseCode Unauthorized() {
  static_assert(sizeof(QWebSocketProtocol::CloseCode) == sizeof(int));
  const int code = LiveHub::kUnauthorized;
  QWebSocketProtocol::CloseCode out{};
  std::memcpy(&out, &code, sizeof out);
  return out;
}

}  // namespace

struct LiveHub::Client {
  QWebSocket* socket = nullptr;
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
}

LiveHub::~LiveHub() {
  for (const auto& client : clients_) {
    client->socket->disconnect(this);
    client->socket->abort();
    delete client->socket;
  }
}

bool LiveHub::full() const {
  return sockets_ >= kMaxClients;
}

void LiveHub::Take(QTcpSocket* socket) {
  if (full()) {
    const QByteArray body = "{\"error\":\"too many live connections; try again later\"}";
    socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    return;
  }
  // Owned here while the handshake runs, then by its QWebSocket.
  socket->setParent(this);
  ++sockets_;
  connect(socket, &QObject::destroyed, this, [this] { --sockets_; });
  // A handshake that fails leaves the socket here; an upgraded one belongs to its QWebSocket.
  connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
    if (socket->parent() == this) socket->deleteLater();
  });
  server_.handleConnection(socket);
}

void LiveHub::OnConnection() {
  while (QWebSocket* socket = server_.nextPendingConnection()) {
    socket->setParent(this);
    auto client = std::make_unique<Client>();
    client->socket = socket;
    Client* c = client.get();
    clients_.push_back(std::move(client));
    c->deadline.setSingleShot(true);
    connect(&c->deadline, &QTimer::timeout, socket, [socket] { socket->close(Unauthorized(), "no token"); });
    c->deadline.start(kTokenMs);
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, c](const QString& text) { OnText(c, text); });
    connect(socket, &QWebSocket::binaryMessageReceived, socket,
            [socket] { socket->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported, "text only"); });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] { Drop(socket); });
  }
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
    client->socket->close(Unauthorized(), "wrong token");
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
  clients_.erase(it);
  socket->disconnect(this);
  socket->deleteLater();
}

}  // namespace kelvo_site
