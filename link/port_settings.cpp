#include "link/port_settings.h"

#include <algorithm>

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
  const QString rest = text.mid(kTcpScheme.size());
  const qsizetype colon = rest.lastIndexOf(u':');
  if (colon < 0) return Refuse(why, QStringLiteral("expected tcp://HOST:PORT, got \"%1\"").arg(text));
  QString host = rest.left(colon);
  if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
  if (host.trimmed().isEmpty() || host.trimmed() != host) {
    return Refuse(why, QStringLiteral("no host in \"%1\" (expected tcp://HOST:PORT)").arg(text));
  }
  const QString digits = rest.mid(colon + 1);
  bool ok = false;
  const uint number = digits.toUInt(&ok, 10);
  const bool all_digits = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(),
                                                           [](QChar c) { return c >= u'0' && c <= u'9'; });
  if (!ok || !all_digits || number < 1 || number > 65535) {
    return Refuse(why, QStringLiteral("TCP port must be 1-65535, got \"%1\"").arg(digits));
  }
  address.tcp = true;
  address.host = host;
  address.tcp_port = static_cast<quint16>(number);
  return address;
}

}  // namespace kelvo_link
