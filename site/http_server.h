// A small HTTP/1.1 server on QTcpServer, for kelvo-site's API and page. Qt HTTP
// Server 6.4 reads a whole body before a handler sees the request and answers
// only from inside the handler; this one reads the head first (with limits),
// refuses a long body without reading it, and lets a handler answer later,
// after a query on another thread, or stream its answer in chunks.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <QUrlQuery>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QTcpSocket;

namespace kelvo_site {

struct HttpLimits {
  qsizetype max_head = 16 * 1024;  // past this: 431
  qint64 max_body = 1024 * 1024;   // past this: 413, and the connection is closed
  int head_ms = 10'000;            // a head (and its body) not complete by then: closed
  int idle_ms = 60'000;            // a kept-alive connection with nothing to do: closed
  int max_connections = 512;       // past this: 503 and closed
};

struct HttpRequest {
  QByteArray method;
  QByteArray path;  // percent-decoding left to the handler
  QUrlQuery query;
  std::map<QByteArray, QByteArray> headers;  // names in lower case
  QByteArray body;

  [[nodiscard]] QByteArray Header(const QByteArray& lower_name) const {
    const auto it = headers.find(lower_name);
    return it == headers.end() ? QByteArray() : it->second;
  }
};

using HttpHeaders = std::vector<std::pair<QByteArray, QByteArray>>;

class HttpConnection;

// The answer to one request, given once, now or later; null-safe when the
// client has gone (every call then does nothing).
class HttpReply {
 public:
  explicit HttpReply(HttpConnection* connection) : connection_(connection) {}

  void Send(int status, const QByteArray& content_type, const QByteArray& body,
            const HttpHeaders& headers = {});
  // A chunked answer: Begin, Write as often as needed, End. `drained` is
  // called when what was written has gone out below `low_water` bytes.
  void Begin(int status, const QByteArray& content_type, const HttpHeaders& headers = {});
  void Write(const QByteArray& chunk);
  void End();
  // Ends the connection without a proper end of the answer (a stream that broke).
  void Abort();
  [[nodiscard]] bool gone() const { return connection_.isNull(); }
  [[nodiscard]] qint64 unsent() const;
  void OnDrained(qint64 low_water, std::function<void()> drained);

 private:
  QPointer<HttpConnection> connection_;
};

class HttpServer : public QObject {
  Q_OBJECT
 public:
  // The handler answers through the reply, at once or later.
  using Handler = std::function<void(const HttpRequest&, std::shared_ptr<HttpReply>)>;
  // Takes the socket of a request that asks for an upgrade on its path, the
  // head still unread in it.
  using Upgrade = std::function<void(const HttpRequest&, QTcpSocket*)>;

  explicit HttpServer(HttpLimits limits = {}, QObject* parent = nullptr);
  ~HttpServer() override;

  void SetHandler(Handler handler) { handler_ = std::move(handler); }
  void SetUpgrade(QByteArray path, Upgrade upgrade) {
    upgrade_path_ = std::move(path);
    upgrade_ = std::move(upgrade);
  }
  // Headers added to every answer.
  void SetCommonHeaders(HttpHeaders headers) { common_ = std::move(headers); }
  [[nodiscard]] const HttpHeaders& commonHeaders() const { return common_; }

  // False, with the reason in `why`, when it cannot listen there.
  bool Listen(const QString& host, quint16 port, QString* why);
  [[nodiscard]] quint16 port() const;
  void Close();

  [[nodiscard]] int connections() const { return connections_; }
  [[nodiscard]] quint64 requests() const { return requests_; }
  [[nodiscard]] const HttpLimits& limits() const { return limits_; }

 private:
  friend class HttpConnection;
  void OnConnection();

  HttpLimits limits_;
  QTcpServer server_;
  Handler handler_;
  QByteArray upgrade_path_;
  Upgrade upgrade_;
  HttpHeaders common_;
  int connections_ = 0;
  quint64 requests_ = 0;
};

// One client's connection: reads a head, then its body, hands the request
// on, and waits for the answer before reading the next.
class HttpConnection : public QObject {
  Q_OBJECT
 public:
  HttpConnection(QTcpSocket* socket, HttpServer* server);
  ~HttpConnection() override;

  // Refuses without reading a request: `status` with a JSON error, then closes.
  void Refuse(int status, const QByteArray& error);

 private:
  friend class HttpReply;
  void OnReadable();
  bool ReadHead();
  void Dispatch();
  void WriteHead(int status, const HttpHeaders& headers, bool chunked, qint64 length);
  void Finished();
  void Close();
  void OnBytesWritten();

  QTcpSocket* socket_;
  HttpServer* server_;
  QTimer timer_;
  enum class Phase { Head, Body, Answering, Closing } phase_ = Phase::Head;
  HttpRequest request_;
  qint64 body_length_ = 0;
  bool keep_alive_ = true;
  bool head_only_ = false;
  qint64 low_water_ = 0;
  std::function<void()> drained_;
};

// The reason phrase of an HTTP status.
[[nodiscard]] QByteArray StatusText(int status);

}  // namespace kelvo_site
