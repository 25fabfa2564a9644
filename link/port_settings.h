// Which port to open and how: a device path or a TCP serial-device server.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace kelvo_link {

struct PortSettings {
  QString port;        // a device path, or "tcp://HOST:PORT"
  qint32 baud = 9600;  // 8N1, no flow control; ignored for tcp://
};

// A port text taken apart: either a device path, or a host and a TCP port.
struct PortAddress {
  bool tcp = false;
  QString path;  // device path, as given (links such as /dev/serial/by-id/... are opened as they are)
  QString host;  // tcp only; an IPv6 address may stand in brackets: tcp://[::1]:4001
  quint16 tcp_port = 0;
};

// "tcp://HOST:PORT" with a port of 1-65535, or any other non-empty text as a
// device path. None for "", "tcp://", "tcp://host", "tcp://host:0", a port
// that is not decimal, or a blank host; `why` then gets the reason.
[[nodiscard]] std::optional<PortAddress> ParsePortAddress(const QString& text, QString* why = nullptr);

}  // namespace kelvo_link
