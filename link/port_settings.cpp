#include "link/port_settings.h"

#include <string>

#include "system/host_port.h"

namespace kelvo_link {
namespace {

constexpr QLatin1StringView kTcpScheme("tcp://");

std::optional<PortAddress> Refuse(QString* why, const QString& reason) {
  if (why != nullptr) *why = reason;
  return std::nullopt;
}

}  // namespace

std::optional<PortAddress> ParsePortAddress(const QString& text, QString* why) {
  if (text.isEmpty()) return Refuse(why, QStringLiteral("no port given"));
  PortAddress address;
  if (!text.startsWith(kTcpScheme, Qt::CaseInsensitive)) {
    address.path = text;
    return address;
  }
  const std::string rest = text.mid(kTcpScheme.size()).toStdString();
  const kelvo_system::HostPort parts = kelvo_system::ParseHostPort(rest);
  if (!parts.shaped()) {
    return Refuse(why, QStringLiteral("expected tcp://HOST:PORT, got \"%1\"").arg(text));
  }
  const QString host = QString::fromUtf8(parts.host);
  if (host.trimmed().isEmpty() || host.trimmed() != host) {
    return Refuse(why, QStringLiteral("no host in \"%1\" (expected tcp://HOST:PORT)").arg(text));
  }
  if (!parts.port) {
    return Refuse(
        why, QStringLiteral("TCP port must be 1-65535, got \"%1\"").arg(QString::fromUtf8(parts.port_text)));
  }
  address.tcp = true;
  address.host = host;
  address.tcp_port = *parts.port;
  return address;
}

}  // namespace kelvo_link
