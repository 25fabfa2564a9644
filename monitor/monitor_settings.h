// What the window remembers between runs (QSettings): the connection and the
// window's geometry, plus the trend fields chosen.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace kelvo_monitor {

struct MonitorSettings {
  QString port;
  qint32 baud = 9600;
  int address = 0;
  int interval_ms = 1000;
  QByteArray geometry;  // QMainWindow::saveGeometry
  QByteArray state;     // QMainWindow::saveState
  QList<int> trend_fields;
  double trend_span = 600;  // seconds in view while following
  bool has_trend_fields = false;
};

// Read from the application's settings; what is missing or out of range keeps its default.
[[nodiscard]] MonitorSettings LoadSettings();
void SaveSettings(const MonitorSettings& settings);

}  // namespace kelvo_monitor
