#include "monitor_settings.h"

#include <QSettings>
#include <QVariant>

#include "codec/requests.h"
#include "command_line.h"

namespace kelvo_monitor {
namespace {

int ReadInt(const QSettings& s, const QString& key, int low, int high, int fallback) {
  bool ok = false;
  const int value = s.value(key).toInt(&ok);
  return ok && value >= low && value <= high ? value : fallback;
}

}  // namespace

MonitorSettings LoadSettings() {
  const QSettings s;
  MonitorSettings m;
  m.port = s.value(QStringLiteral("connection/port")).toString();
  m.baud = ReadInt(s, QStringLiteral("connection/baud"), 1, 4'000'000, m.baud);
  m.address = ReadInt(s, QStringLiteral("connection/address"), codec::kLowestAddress, codec::kHighestAddress,
                      m.address);
  m.interval_ms =
      ReadInt(s, QStringLiteral("connection/interval"), kMinIntervalMs, kMaxIntervalMs, m.interval_ms);
  m.geometry = s.value(QStringLiteral("window/geometry")).toByteArray();
  m.state = s.value(QStringLiteral("window/state")).toByteArray();
  bool ok = false;
  const double span = s.value(QStringLiteral("trends/span")).toDouble(&ok);
  if (ok && span >= 1) m.trend_span = span;
  if (s.contains(QStringLiteral("trends/fields"))) {
    m.has_trend_fields = true;
    for (const QVariant& v : s.value(QStringLiteral("trends/fields")).toList()) m.trend_fields << v.toInt();
  }
  return m;
}

void SaveSettings(const MonitorSettings& settings) {
  QSettings s;
  s.setValue(QStringLiteral("connection/port"), settings.port);
  s.setValue(QStringLiteral("connection/baud"), settings.baud);
  s.setValue(QStringLiteral("connection/address"), settings.address);
  s.setValue(QStringLiteral("connection/interval"), settings.interval_ms);
  s.setValue(QStringLiteral("window/geometry"), settings.geometry);
  s.setValue(QStringLiteral("window/state"), settings.state);
  QVariantList fields;
  for (int f : settings.trend_fields) fields << f;
  s.setValue(QStringLiteral("trends/fields"), fields);
  s.setValue(QStringLiteral("trends/span"), settings.trend_span);
}

}  // namespace kelvo_monitor
