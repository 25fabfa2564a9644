// The window's parts that need no unit: the history and its reduction to
// pixel columns, the command line, the on-demand payloads, the unit's
// outages as alarms on a given clock.
#include <QTest>
#include <cmath>
#include <limits>

#include "alarm_watch.h"
#include "command_line.h"
#include "on_demand_panel.h"
#include "trend_history.h"

using kelvo_monitor::TrendHistory;
using kelvo_monitor::TrendPoint;

namespace {
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

QString Points(const std::vector<TrendPoint>& points) {
  QStringList out;
  for (const TrendPoint& p : points) out << QStringLiteral("%1:%2").arg(p.time).arg(p.value);
  return out.join(QLatin1Char(' '));
}
}  // namespace

class MonitorPartsTest : public QObject {
  Q_OBJECT
 private slots:
  void decimate_data();
  void decimate();
  void ringKeepsNewest();
  void outagesBreakLines_data();
  void outagesBreakLines();
  void commandLine_data();
  void commandLine();
  void registerAddresses_data();
  void registerAddresses();
  void outagesAsAlarms_data();
  void outagesAsAlarms();
};

void MonitorPartsTest::decimate_data() {
  QTest::addColumn<QList<float>>("values");  // at times 0, 1, 2, ...
  QTest::addColumn<double>("from");
  QTest::addColumn<double>("to");
  QTest::addColumn<int>("columns");
  QTest::addColumn<QString>("expected");
  // Ten points, two columns of five: each column's lowest and highest in time order.
  QTest::newRow("two columns") << QList<float>{5, 1, 9, 3, 4, 2, 8, 6, 7, 0} << 0.0 << 10.0 << 2
                               << "1:1 2:9 6:8 9:0";
  // As many columns as points: every point stays.
  QTest::newRow("column per point") << QList<float>{3, 1, 2} << 0.0 << 3.0 << 3 << "0:3 1:1 2:2";
  // A span inside the history brings the nearest point on each side.
  QTest::newRow("edges") << QList<float>{1, 2, 3, 4, 5, 6} << 2.0 << 3.5 << 1 << "1:2 2:3 3:4 4:5";
  // Missing values are skipped, never drawn as zero.
  QTest::newRow("gaps") << QList<float>{4, kNaN, kNaN, 2} << 0.0 << 4.0 << 1 << "0:4 3:2";
  // One flat column: one point, not two.
  QTest::newRow("flat") << QList<float>{7, 7, 7} << 0.0 << 3.0 << 1 << "0:7";
  QTest::newRow("empty span") << QList<float>{1, 2} << 5.0 << 5.0 << 4 << "";
}

void MonitorPartsTest::decimate() {
  QFETCH(QList<float>, values);
  QFETCH(double, from);
  QFETCH(double, to);
  QFETCH(int, columns);
  QFETCH(QString, expected);
  TrendHistory history(100, 2);
  history.Watch(1);
  for (int i = 0; i < values.size(); ++i) history.Append(i, {0, values[i]});
  std::vector<TrendPoint> out;
  history.Decimate(1, from, to, columns, out);
  QCOMPARE(Points(out), expected);
  history.Decimate(0, from, to, columns, out);  // never watched
  QCOMPARE(Points(out), QString());
}

void MonitorPartsTest::ringKeepsNewest() {
  // Capacity 4, six answers: the first two are gone; a series watched late
  // reads as missing for the answers before it.
  TrendHistory history(4, 2);
  history.Watch(0);
  for (int i = 0; i < 6; ++i) {
    if (i == 4) history.Watch(1);
    history.Append(i, {float(10 * i), float(100 * i)});
  }
  QCOMPARE(history.size(), std::size_t{4});
  std::vector<TrendPoint> out;
  history.Decimate(0, 0, 10, 10, out);
  QCOMPARE(Points(out), QStringLiteral("2:20 3:30 4:40 5:50"));
  history.Decimate(1, 0, 10, 10, out);
  QCOMPARE(Points(out), QStringLiteral("4:400 5:500"));
  // A clock stepping back keeps the history in order.
  history.Append(1, {60, 600});
  QCOMPARE(history.LastTime(), 5.0);
}

void MonitorPartsTest::outagesBreakLines_data() {
  QTest::addColumn<double>("from");  // an outage between answers at times 0, 1, 2, 3, 4, 5
  QTest::addColumn<double>("to");
  QTest::addColumn<int>("columns");
  QTest::addColumn<QString>("expected");
  QTest::newRow("between two answers") << 2.0 << 3.0 << 10 << "0:0 1:1 2:2 2.5:nan 3:3 4:4 5:5";
  // Reduced to two columns, the break still lies between the points either side.
  QTest::newRow("inside a column") << 2.0 << 3.0 << 2 << "0:0 2:2 2.5:nan 3:3 5:5";
  QTest::newRow("after the last answer") << 5.0 << 9.0 << 10 << "0:0 1:1 2:2 3:3 4:4 5:5";
}

void MonitorPartsTest::outagesBreakLines() {
  QFETCH(double, from);
  QFETCH(double, to);
  QFETCH(int, columns);
  QFETCH(QString, expected);
  TrendHistory history(100, 1);
  history.Watch(0);
  for (int i = 0; i < 6; ++i) history.Append(i, {float(i)});
  history.AddOutage(from, to);
  std::vector<TrendPoint> out;
  history.Decimate(0, 0, 6, columns, out);
  QCOMPARE(Points(out), expected);
}

void MonitorPartsTest::commandLine_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<int>("exit_code");   // -1: the window opens
  QTest::addColumn<QString>("parsed");  // port|baud|address|interval|record|profile|alarms, "-" for not given
  QTest::newRow("nothing") << QStringList{} << -1 << "-|-|-|-|-|-|-";
  QTest::newRow("all") << QStringList{"--port",     "tcp://127.0.0.1:4001",
                                      "--baud",     "19200",
                                      "--address",  "7",
                                      "--interval", "250",
                                      "--record",   "a.csv",
                                      "--profile",  "site.toml",
                                      "--alarms",   "rules.toml"}
                       << -1 << "tcp://127.0.0.1:4001|19200|7|250|a.csv|site.toml|rules.toml";
  QTest::newRow("equals form") << QStringList{"--port=/dev/ttyUSB0", "--address=255", "--profile=none"} << -1
                               << "/dev/ttyUSB0|-|255|-|-|none|-";
  // Rules watch values, which --profile none turns off.
  QTest::newRow("alarms without values")
      << QStringList{"--profile", "none", "--alarms", "rules.toml"} << 2 << "";
  QTest::newRow("help") << QStringList{"--help"} << 0 << "";
  QTest::newRow("address too big") << QStringList{"--address", "256"} << 2 << "";
  QTest::newRow("address not a number") << QStringList{"--address", "0x10"} << 2 << "";
  QTest::newRow("interval zero") << QStringList{"--interval", "0"} << 2 << "";
  QTest::newRow("interval text") << QStringList{"--interval", "fast"} << 2 << "";
  QTest::newRow("baud negative") << QStringList{"--baud", "-9600"} << 2 << "";
  QTest::newRow("empty port") << QStringList{"--port", ""} << 2 << "";
  QTest::newRow("missing value") << QStringList{"--record"} << 2 << "";
  QTest::newRow("unknown option") << QStringList{"--count", "3"} << 2 << "";
  QTest::newRow("stray argument") << QStringList{"42"} << 2 << "";
}

void MonitorPartsTest::commandLine() {
  QFETCH(QStringList, arguments);
  QFETCH(int, exit_code);
  QFETCH(QString, parsed);
  arguments.prepend(QStringLiteral("kelvo-monitor"));
  const kelvo_monitor::CommandLine line = kelvo_monitor::ParseCommandLine(arguments);
  if (exit_code >= 0) {
    QVERIFY(!line.options);
    QCOMPARE(line.exit_code, exit_code);
    QVERIFY(!line.output.isEmpty());
    return;
  }
  QVERIFY2(line.options, qPrintable(line.output));
  const auto& o = *line.options;
  auto text = [](const auto& v) {
    if (!v) return QStringLiteral("-");
    if constexpr (std::is_same_v<std::decay_t<decltype(*v)>, QString>) {
      return *v;
    } else {
      return QString::number(*v);
    }
  };
  QCOMPARE(QStringList({text(o.port), text(o.baud), text(o.address), text(o.interval_ms), text(o.record),
                        text(o.profile), text(o.alarms)})
               .join(QLatin1Char('|')),
           parsed);
}

void MonitorPartsTest::registerAddresses_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("addresses");  // hex, comma-separated; empty: refused
  QTest::newRow("one") << "0026"
                       << "26";
  QTest::newRow("short and lower case") << "26, ff"
                                        << "26,ff";
  QTest::newRow("mixed separators") << " 1;2  3 "
                                    << "1,2,3";
  QTest::newRow("as many as one answer holds")
      << QStringLiteral("1 ").repeated(28) << QStringLiteral("1,").repeated(27) + QStringLiteral("1");
  QTest::newRow("five digits") << "12345"
                               << "";
  QTest::newRow("not hex") << "00G1"
                           << "";
  QTest::newRow("nothing") << " , "
                           << "";
  QTest::newRow("more than one answer holds") << QStringLiteral("1 ").repeated(29) << "";
}

void MonitorPartsTest::registerAddresses() {
  QFETCH(QString, text);
  QFETCH(QString, addresses);
  QString why;
  const auto got = kelvo_monitor::OnDemandPanel::RegisterAddresses(text, &why);
  if (addresses.isEmpty()) {
    QVERIFY(!got);
    QVERIFY(!why.isEmpty());
  } else {
    QVERIFY2(got, qPrintable(why));
    QStringList hex;
    for (const std::uint16_t a : *got) hex << QString::number(a, 16);
    QCOMPARE(hex.join(QLatin1Char(',')), addresses);
  }
}

void MonitorPartsTest::outagesAsAlarms_data() {
  QTest::addColumn<QString>("steps");  // a round with the link up (r) or down (R), a miss (m), an
                                       // answer (a), watching unit N (wN); a second apart
  QTest::addColumn<QString>("active");
  QTest::newRow("two misses") << "r m r m"
                              << "";
  QTest::newRow("offline after three") << "r m r m r m"
                                       << "offline";
  QTest::newRow("an answer clears it") << "r m r m r m r a"
                                       << "";
  // One alarm for the link, none for the unit behind it.
  QTest::newRow("link down") << "R m R m R m R m"
                             << "bus_down";
  QTest::newRow("link back, unit silent") << "R m R m R m r m r m r m"
                                          << "offline";
  QTest::newRow("the same unit again") << "r m r m r m w0"
                                       << "offline";
  QTest::newRow("another unit") << "r m r m r m w7"
                                << "";
}

void MonitorPartsTest::outagesAsAlarms() {
  QFETCH(QString, steps);
  QFETCH(QString, active);
  kelvo_monitor::AlarmWatch watch;
  watch.Watch(QStringLiteral("/dev/pts/9"), 0);
  kelvo_alarms::TimePoint t{std::chrono::seconds(1'700'000'000)};
  for (const QString& step : steps.split(QLatin1Char(' '))) {
    t += std::chrono::seconds(1);
    if (step == QLatin1String("r") || step == QLatin1String("R"))
      watch.RoundStarted(step == QLatin1String("R"), t);
    if (step == QLatin1String("m")) watch.Missed(t);
    if (step == QLatin1String("a")) watch.Answered({}, t);
    if (step.startsWith(QLatin1Char('w'))) watch.Watch(QStringLiteral("/dev/pts/9"), step.mid(1).toInt());
  }
  QStringList names;
  for (const kelvo_monitor::ShownAlarm& shown : watch.active())
    names << QString::fromStdString(shown.alarm.name);
  QCOMPARE(names.join(QLatin1Char(' ')), active);
}

QTEST_GUILESS_MAIN(MonitorPartsTest)
#include "monitor_parts_test.moc"
