// kelvo-monitor as its command line starts it: polls at once, records whole
// CSV rows, sends nothing but polls, ends promptly on SIGTERM and SIGINT,
// refuses a bad profile or bad alarm rules before it needs a display.
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "sim/unit_server.h"

namespace {

QList<QByteArray> Lines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray text = file.readAll();
  QList<QByteArray> lines = text.split('\n');
  lines.removeLast();  // after the last "\n", or a row not yet whole
  return lines;
}

}  // namespace

class MonitorProgramTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

 private slots:
  void recordsAndEndsOnSignal_data();
  void recordsAndEndsOnSignal();
  void failedRecordingIsSaid();
  void commandLineWithoutDisplay_data();
  void commandLineWithoutDisplay();
};

void MonitorProgramTest::recordsAndEndsOnSignal_data() {
  QTest::addColumn<int>("signal_number");
  QTest::newRow("SIGTERM") << SIGTERM;
  QTest::newRow("SIGINT") << SIGINT;
}

void MonitorProgramTest::recordsAndEndsOnSignal() {
  QFETCH(int, signal_number);
  kelvo_sim::UnitServer server(kelvo_sim::SimulatedUnit({0}, {}, 1));
  QString pty;
  QVERIFY(server.ServePty(&pty));
  QSignalSpy seen(&server, &kelvo_sim::UnitServer::requestSeen);
  QTemporaryDir dir;
  const QString csv = dir.filePath(QStringLiteral("out.csv"));

  // An earlier session watched another address: --port alone means address 0.
  QSettings(QStringLiteral("kelvo_vavo_zuru"), QStringLiteral("kelvo-monitor"))
      .setValue(QStringLiteral("connection/address"), 9);

  QProcess monitor;
  monitor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  const qint64 started = QDateTime::currentSecsSinceEpoch();
  monitor.start(QStringLiteral(KVZ_MONITOR_PROGRAM),
                {QStringLiteral("--port"), pty, QStringLiteral("--interval"), QStringLiteral("100"),
                 QStringLiteral("--record"), csv});
  QVERIFY(monitor.waitForStarted());
  QTRY_VERIFY_WITH_TIMEOUT(Lines(csv).size() >= 4, 15000);

  QElapsedTimer ending;
  ending.start();
  ::kill(static_cast<pid_t>(monitor.processId()), signal_number);
  QVERIFY(monitor.waitForFinished(3000));
  QVERIFY2(ending.elapsed() < 500, qPrintable(QString::number(ending.elapsed())));
  QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
  QCOMPARE(monitor.exitCode(), 0);

  // Header first, every row whole, nothing after the last line end.
  QFile file(csv);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  QVERIFY(text.endsWith('\n'));
  const QList<QByteArray> lines = Lines(csv);
  QVERIFY(lines[0].startsWith("time,address,设备时间,"));
  for (const QByteArray& row : lines) QCOMPARE(row.count(','), lines[0].count(','));

  // Only polls went out: command 42 to address 0 with the host time.
  static const QRegularExpression kPoll(QStringLiteral("^<1530042 08([0-9A-F]{8})[0-9A-F]{2}>$").remove(' '));
  QVERIFY(seen.size() >= lines.size() - 1);
  const qint64 now = QDateTime::currentSecsSinceEpoch();
  for (const QList<QVariant>& call : seen) {
    const QString request = QString::fromLatin1(call[0].toByteArray());
    const QRegularExpressionMatch match = kPoll.match(request);
    QVERIFY2(match.hasMatch(), qPrintable(request));
    const qint64 host_time = match.captured(1).toLongLong(nullptr, 16);
    QVERIFY2(host_time >= started - 1 && host_time <= now + 1, qPrintable(request));
  }
}

void MonitorProgramTest::failedRecordingIsSaid() {
  kelvo_sim::UnitServer server(kelvo_sim::SimulatedUnit({0}, {}, 1));
  QString pty;
  QVERIFY(server.ServePty(&pty));
  QSignalSpy seen(&server, &kelvo_sim::UnitServer::requestSeen);
  QProcess monitor;
  monitor.start(QStringLiteral(KVZ_MONITOR_PROGRAM),
                {QStringLiteral("--port"), pty, QStringLiteral("--interval"), QStringLiteral("100"),
                 QStringLiteral("--record"), QStringLiteral("/dev/full")});
  QVERIFY(monitor.waitForStarted());
  QByteArray said;
  // Qt's own warnings may come first.
  QTRY_VERIFY_WITH_TIMEOUT((said += monitor.readAllStandardError()).contains("recording stopped"), 15000);
  QVERIFY2(said.contains("\nkelvo-monitor: recording stopped: /dev/full: ") ||
               said.startsWith("kelvo-monitor: recording stopped: /dev/full: "),
           said.constData());
  // It goes on polling.
  const qsizetype polls = seen.size();
  QTRY_VERIFY(seen.size() > polls + 1);
  monitor.terminate();
  QTRY_COMPARE(monitor.state(), QProcess::NotRunning);
  QCOMPARE(monitor.exitCode(), 0);
}

void MonitorProgramTest::commandLineWithoutDisplay_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<int>("exit_code");
  QTest::addColumn<QString>("output");  // expected in stdout (exit 0) or stderr
  QTest::newRow("help") << QStringList{"--help"} << 0 << "--record";
  QTest::newRow("bad interval") << QStringList{"--interval", "0"} << 2 << "--interval";
  QTest::newRow("bad address") << QStringList{"--port", "/dev/null", "--address", "x"} << 2 << "--address";
  // A profile is refused as kelvo-frame refuses it: the file, the line and the key.
  const QString bad = dir_.filePath(QStringLiteral("bad.toml"));
  QFile file(bad);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("[field.volts]\nlabel = \"总电压\"\nscal = 0.01\n");
  file.close();
  QTest::newRow("bad profile") << QStringList{"--port", "/dev/null", "--profile", bad} << 2
                               << "kelvo-monitor: " + bad +
                                      ": line 3: unknown key \"scal\" in [field.volts]\n";
  // So are alarm rules, checked against the profile in use.
  const QString rules = dir_.filePath(QStringLiteral("alarms.toml"));
  QFile rules_file(rules);
  QVERIFY(rules_file.open(QIODevice::WriteOnly));
  rules_file.write("[[alarm]]\nname = \"cell_high\"\nvalue = \"cell_max\"\nabove = 3.6\nclear = 3.65\n");
  rules_file.close();
  QTest::newRow("bad alarms")
      << QStringList{"--port", "/dev/null", "--alarms", rules} << 2
      << "kelvo-monitor: " + rules +
             ": line 5: key \"clear\" in [[alarm]] number 1: 3.65 is above the threshold "
             "3.6: an above rule clears at or below it\n";
  QTest::newRow("alarms without values")
      << QStringList{"--profile", "none", "--alarms", rules} << 2 << "--profile none turns them off";
  QTest::newRow("missing profile") << QStringList{"--profile", "/nonexistent/site.toml"} << 2
                                   << "kelvo-monitor: /nonexistent/site.toml: cannot read the profile\n";
  // The window itself needs a display: without one, what to do instead.
  QTest::newRow("no display") << QStringList{"--port", "/dev/null"} << 1 << "no display found";
  QTest::newRow("no profile, no display")
      << QStringList{"--port", "/dev/null", "--profile", "none"} << 1 << "no display found";
}

void MonitorProgramTest::commandLineWithoutDisplay() {
  QFETCH(QStringList, arguments);
  QFETCH(int, exit_code);
  QFETCH(QString, output);
  QProcess monitor;
  // A platform that cannot start here: the command line must be answered first.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  environment.remove(QStringLiteral("DISPLAY"));
  monitor.setProcessEnvironment(environment);
  monitor.start(QStringLiteral(KVZ_MONITOR_PROGRAM), arguments);
  QVERIFY(monitor.waitForStarted());
  QTRY_COMPARE_WITH_TIMEOUT(monitor.state(), QProcess::NotRunning, 10000);
  QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
  QCOMPARE(monitor.exitCode(), exit_code);
  const QByteArray said = exit_code ? monitor.readAllStandardError() : monitor.readAllStandardOutput();
  QVERIFY2(said.contains(output.toUtf8()), said.constData());
  QVERIFY2(exit_code != 1 || said.contains("DISPLAY=:99 kelvo-monitor"), said.constData());
}

QTEST_GUILESS_MAIN(MonitorProgramTest)
#include "monitor_program_test.moc"
