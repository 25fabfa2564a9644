#include "site/http_server.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <optional>

namespace kelvo_site {
namespace {

constexpr QByteArrayView kEndOfHead = "\r\n\r\n";
// After a refusal the answer has this long to go out before the connection is cut.
constexpr int kFlushMs = 2000;

bool IsToken(QByteArrayView text) {
  if (text.isEmpty()) return false;
  for (char c : text) {
    if (c <= ' ' || c >= 127 || c == ':' || c == '"' || c == '(' || c == ')' || c == ',' || c == '/')
      return false;
  }
  return true;
}

std::optional<qint64> ContentLength(const QByteArray& text) {
  if (text.isEmpty() || text.size() > 18) return std::nullopt;
  qint64 value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

QByteArray ErrorBody(const QByteArray& error) {
  QByteArray escaped;
  for (char c : error) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return "{\"error\":\"" + escaped + "\"}";
}

}  // namespace

QByteArray StatusText(int status) {
  switch (status) {
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 426: return "Upgrade Required";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Status";
  }
}

// The reply.

void HttpReply::Send(int status, const QByteArray& content_type, const QByteArray& body,
                     const HttpHeaders& headers) {
  if (connection_.isNull() || connection_->phase_ != HttpConnection::Phase::Answering) return;
  HttpHeaders all = headers;
  if (!content_type.isEmpty()) all.emplace_back("Content-Type", content_type);
  connection_->WriteHead(status, all, false, body.size());
  if (!connection_->head_only_) connection_->socket_->write(body);
  connection_->Finished();
}

void HttpReply::Begin(int status, const QByteArray& content_type, const HttpHeaders& headers) {
  if (connection_.isNull() || connection_->phase_ != HttpConnection::Phase::Answering) return;
  HttpHeaders all = headers;
  all.emplace_back("Content-Type", content_type);
  connection_->WriteHead(status, all, true, 0);
}

void HttpReply::Write(const QByteArray& chunk) {
  if (connection_.isNull() || chunk.isEmpty() || connection_->phase_ != HttpConnection::Phase::Answering)
    return;
  if (connection_->head_only_) return;
  connection_->socket_->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
}

void HttpReply::End() {
  if (connection_.isNull() || connection_->phase_ != HttpConnection::Phase::Answering) return;
  if (!connection_->head_only_) connection_->socket_->write("0\r\n\r\n");
  connection_->Finished();
}

void HttpReply::Abort() {
  if (!connection_.isNull()) connection_->Close();
}

qint64 HttpReply::unsent() const {
  return connection_.isNull() ? 0 : connection_->socket_->bytesToWrite();
}

void HttpReply::OnDrained(qint64 low_water, std::function<void()> drained) {
  if (connection_.isNull()) return;
  connection_->low_water_ = low_water;
  connection_->drained_ = std::move(drained);
  if (connection_->socket_->bytesToWrite() <= low_water) connection_->OnBytesWritten();
}

// The server.

HttpServer::HttpServer(HttpLimits limits, QObject* parent) : QObject(parent), limits_(limits) {
  connect(&server_, &QTcpServer::pendingConnectionAvailable, this, &HttpServer::OnConnection);
}

HttpServer::~HttpServer() {
  Close();
  // Before the listening socket, which owns the connections' sockets.
  qDeleteAll(findChildren<HttpConnection*>(Qt::FindDirectChildrenOnly));
}

bool HttpServer::Listen(const QString& host, quint16 port, QString* why) {
  QHostAddress address;
  if (host == "localhost") {
    address = QHostAddress::LocalHost;
  } else if (!address.setAddress(host)) {
    *why = host + " is not an IP address to listen on";
    return false;
  }
  if (!server_.listen(address, port)) {
    *why = server_.errorString();
    return false;
  }
  return true;
}

quint16 HttpServer::port() const {
  return server_.serverPort();
}

void HttpServer::Close() {
  server_.close();
}

void HttpServer::OnConnection() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    auto* connection = new HttpConnection(socket, this);
    if (connections_ > limits_.max_connections) connection->Refuse(503, "too many connections");
  }
}

// One connection.

HttpConnection::HttpConnection(QTcpSocket* socket, HttpServer* server)
    : QObject(server), socket_(socket), server_(server) {
  ++server_->connections_;
  // Qt reads no more than this ahead of the parser, so that a long body the
  // server refuses is never taken in.
  socket_->setReadBufferSize(server_->limits_.max_head + 4);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &HttpConnection::Close);
  connect(socket_, &QTcpSocket::readyRead, this, &HttpConnection::OnReadable);
  connect(socket_, &QTcpSocket::bytesWritten, this, &HttpConnection::OnBytesWritten);
  connect(socket_, &QTcpSocket::disconnected, this, [this] {
    socket_->deleteLater();
    socket_ = nullptr;
    deleteLater();
  });
  timer_.start(server_->limits_.idle_ms);
}

HttpConnection::~HttpConnection() {
  --server_->connections_;
  if (socket_ != nullptr) {
    socket_->disconnect(this);
    socket_->abort();
    socket_->deleteLater();
  }
}

void HttpConnection::Refuse(int status, const QByteArray& error) {
  keep_alive_ = false;
  phase_ = Phase::Answering;
  const QByteArray body = ErrorBody(error);
  WriteHead(status, {{"Content-Type", "application/json"}}, false, body.size());
  socket_->write(body);
  Finished();
}

void HttpConnection::OnReadable() {
  if (socket_ == nullptr) return;
  if (phase_ == Phase::Head) {
    if (timer_.remainingTime() > server_->limits_.head_ms || !timer_.isActive())
      timer_.start(server_->limits_.head_ms);
    if (!ReadHead()) return;
  }
  if (phase_ == Phase::Body) {
    request_.body += socket_->read(body_length_ - request_.body.size());
    if (request_.body.size() < body_length_) return;
    Dispatch();
  }
}

bool HttpConnection::ReadHead() {
  const QByteArray seen = socket_->peek(server_->limits_.max_head + 4);
  const qsizetype end = seen.indexOf(kEndOfHead);
  if (end < 0) {
    if (seen.size() >= server_->limits_.max_head) Refuse(431, "the request head is longer than 16 KB");
    return false;
  }
  const qsizetype head_length = end + kEndOfHead.size();
  const QList<QByteArray> lines = seen.left(end).split('\n');
  const QList<QByteArray> start = lines.front().trimmed().split(' ');
  if (start.size() != 3 || !IsToken(start[0]) || !start[1].startsWith('/') ||
      !start[2].startsWith("HTTP/1.")) {
    Refuse(400, "not an HTTP/1.1 request");
    return false;
  }
  request_ = HttpRequest{};
  request_.method = start[0];
  const qsizetype question = start[1].indexOf('?');
  request_.path = question < 0 ? start[1] : start[1].left(question);
  if (question >= 0) request_.query.setQuery(QString::fromUtf8(start[1].mid(question + 1)));
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QByteArray& line = lines[i];
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !IsToken(QByteArrayView(line).first(colon))) {
      Refuse(400, "a header line without a name");
      return false;
    }
    const QByteArray name = line.left(colon).toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    QByteArray& stored = request_.headers[name];
    stored = stored.isEmpty() ? value : stored + ", " + value;
  }
  const QByteArray connection = request_.Header("connection").toLower();
  keep_alive_ = start[2] == "HTTP/1.1" ? !connection.contains("close") : connection.contains("keep-alive");
  head_only_ = request_.method == "HEAD";

  if (!request_.Header("upgrade").isEmpty() && server_->upgrade_ && request_.path == server_->upgrade_path_) {
    // The upgrade's owner reads the head itself: hand the socket over unread.
    QTcpSocket* socket = socket_;
    socket->disconnect(this);
    socket_ = nullptr;
    socket->setReadBufferSize(0);
    ++server_->requests_;
    server_->upgrade_(request_, socket);
    deleteLater();
    return false;
  }
  if (request_.headers.contains("transfer-encoding")) {
    Refuse(411, "a body needs a Content-Length");
    return false;
  }
  body_length_ = 0;
  if (request_.headers.contains("content-length")) {
    const std::optional<qint64> length = ContentLength(request_.Header("content-length"));
    if (!length) {
      Refuse(400, "Content-Length is not a number");
      return false;
    }
    if (*length > server_->limits_.max_body) {
      Refuse(413, "the body is longer than 1 MB");
      return false;
    }
    body_length_ = *length;
  }
  socket_->read(head_length);
  if (body_length_ == 0) {
    Dispatch();
    return false;
  }
  request_.body.reserve(body_length_);
  phase_ = Phase::Body;
  return true;
}

void HttpConnection::Dispatch() {
  phase_ = Phase::Answering;
  timer_.stop();
  ++server_->requests_;
  auto reply = std::make_shared<HttpReply>(this);
  if (server_->handler_) {
    server_->handler_(request_, reply);
  } else {
    reply->Send(404, "application/json", ErrorBody("nothing here"));
  }
}

void HttpConnection::WriteHead(int status, const HttpHeaders& headers, bool chunked, qint64 length) {
  QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + StatusText(status) + "\r\n";
  const auto add = [&head](const QByteArray& name, const QByteArray& value) {
    head += name + ": " + value + "\r\n";
  };
  for (const auto& [name, value] : server_->common_) add(name, value);
  if (request_.path.startsWith("/api/")) add("Cache-Control", "no-store");
  for (const auto& [name, value] : headers) add(name, value);
  if (chunked) {
    add("Transfer-Encoding", "chunked");
  } else {
    add("Content-Length", QByteArray::number(length));
  }
  if (!keep_alive_) add("Connection", "close");
  socket_->write(head + "\r\n");
}

void HttpConnection::Finished() {
  drained_ = nullptr;
  if (!keep_alive_) {
    phase_ = Phase::Closing;
    socket_->disconnectFromHost();
    if (socket_ != nullptr) timer_.start(kFlushMs);
    return;
  }
  phase_ = Phase::Head;
  request_ = HttpRequest{};
  timer_.start(server_->limits_.idle_ms);
  if (socket_->bytesAvailable() > 0)
    QMetaObject::invokeMethod(this, &HttpConnection::OnReadable, Qt::QueuedConnection);
}

void HttpConnection::Close() {
  phase_ = Phase::Closing;
  if (socket_ != nullptr) socket_->abort();
}

void HttpConnection::OnBytesWritten() {
  if (!drained_ || socket_ == nullptr || socket_->bytesToWrite() > low_water_) return;
  // Called once per drain; the owner asks again when it has written more.
  std::function<void()> drained = std::move(drained_);
  drained_ = nullptr;
  drained();
}

}  // namespace kelvo_site
