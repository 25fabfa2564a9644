// An HTTP/1.1 receiver on a loopback port for the webhook's tests: it keeps
// every request it gets and answers each as it is told, or holds it
// unanswered (a receiver that hangs).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QTcpSocket;

namespace kelvo_gateway_test {

struct HttpRequest {
  QByteArray method;
  QByteArray path;
  std::map<QByteArray, QByteArray> headers;  // names in lower case
  QByteArray body;
};

class HttpReceiver : public QObject {
  Q_OBJECT
 public:
  // Answers with this status; kHold keeps the request unanswered until
  // Release(), kClose drops the connection without an answer.
  static constexpr int kHold = 0;
  static constexpr int kClose = -1;

  ~HttpReceiver() override;

  // Listens on `port` of 127.0.0.1 (any free one for 0); false when it cannot.
  bool Listen(int port = 0);
  // The same over TLS, with the certificate and key in these PEM files.
  bool ListenTls(const QString& certificate_file, const QString& key_file);
  // Takes no more connections, and drops those open: a receiver gone away.
  void Close();
  [[nodiscard]] int port() const { return port_; }
  [[nodiscard]] std::string url(const std::string& path = "/hook") const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + path;
  }

  // The statuses of the next requests' answers, in order; 200 once they run out.
  void Answer(std::vector<int> statuses) {
    statuses_.insert(statuses_.end(), statuses.begin(), statuses.end());
  }
  // Answers every request held so far with 200.
  void Release();

  [[nodiscard]] const std::vector<HttpRequest>& requests() const { return requests_; }
  // The most requests that were ever waiting for an answer at once.
  [[nodiscard]] int most_outstanding() const { return most_outstanding_; }

 Q_SIGNALS:
  void requestArrived();

 private:
  void OnConnection();
  void OnData(QTcpSocket* socket);
  void Reply(QTcpSocket* socket, int status);

  bool Serve(std::unique_ptr<QTcpServer> server, int port);

  std::unique_ptr<QTcpServer> server_;
  bool tls_ = false;
  int port_ = 0;
  std::deque<int> statuses_;
  std::map<QTcpSocket*, QByteArray> buffers_;
  std::vector<QPointer<QTcpSocket>> held_;
  std::vector<HttpRequest> requests_;
  int outstanding_ = 0;
  int most_outstanding_ = 0;
};

}  // namespace kelvo_gateway_test
