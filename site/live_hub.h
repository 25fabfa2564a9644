// /api/live: the page's WebSocket. A client first sends {"token": "..."}
// ({} without a token); then it gets a hello, and from then on the units and
// banks that changed (coalesced, at most one message of each a second),
// every event, and the health when it changes.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocketServer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QWebSocket;

namespace kelvo_site {

class LiveHub : public QObject {
  Q_OBJECT
 public:
  static constexpr int kTokenMs = 5000;
  static constexpr int kMaxClients = 256;
  // A client with more than this waiting to be sent is closed.
  static constexpr qint64 kMaxUnsent = 4 * 1024 * 1024;
  static constexpr int kUnauthorized = 4401;
  static constexpr quint64 kMaxTokenMessage = 64 * 1024;

  // `hello` gives the hello message's text; `token_ok` says whether a token
  // (empty: none given) lets a client in.
  LiveHub(std::function<std::string()> hello, std::function<bool(const std::string&)> token_ok,
          QObject* parent = nullptr);
  ~LiveHub() override;

  // Takes a socket whose upgrade request is still unread in it.
  void Take(QTcpSocket* socket);
  [[nodiscard]] bool full() const;
  [[nodiscard]] int clients() const { return static_cast<int>(clients_.size()); }
  [[nodiscard]] std::uint64_t closedSlow() const { return closed_slow_; }

  // A message to every client let in.
  void Broadcast(const std::string& text);

 private:
  struct Client;
  void OnConnection();
  void OnText(Client* client, const QString& text);
  void Drop(QWebSocket* socket);
  // Closes with kUnauthorized and `reason`.
  void Refuse(QWebSocket* socket, QByteArrayView reason);
  [[nodiscard]] QPointer<QTcpSocket> TcpOf(QWebSocket* socket) const;

  std::function<std::string()> hello_;
  std::function<bool(const std::string&)> token_ok_;
  QWebSocketServer server_;
  std::vector<std::unique_ptr<Client>> clients_;
  // The connection under each socket, by its peer, for what QWebSocket cannot say itself.
  // Those alive are the clients counted against kMaxClients, in the handshake or upgraded.
  std::map<std::pair<QString, quint16>, QPointer<QTcpSocket>> tcp_;
  std::uint64_t closed_slow_ = 0;
};

}  // namespace kelvo_site
