// The window against the simulated unit in process, over a pseudo-terminal
// pair and loopback TCP: what it shows, what it records, how it rides out
// silence and a lost link, and on-demand requests between polls.
#include "monitor_window.h"

#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

#include "cell_bars.h"
#include "monitor_settings.h"
#include "sim/unit_server.h"
#include "traffic_log.h"
#include "trend_charts.h"
#include "values_table.h"

using kelvo_monitor::MonitorWindow;
using kelvo_sim::BatteryConfig;
using kelvo_sim::Faults;
using kelvo_sim::SimulatedUnit;
using kelvo_sim::UnitServer;

Q_DECLARE_METATYPE(Faults)

namespace {

std::unique_ptr<UnitServer> ServeUnit(BatteryConfig config = {}, Faults faults = {}) {
  return std::make_unique<UnitServer>(SimulatedUnit({0}, config, 7), faults);
}

// Connects `window` to `port` polling `address` every `interval_ms`.
void Watch(MonitorWindow& window, const QString& port, int address, int interval_ms) {
  kelvo_monitor::MonitorSettings settings;
  settings.port = port;
  settings.address = address;
  settings.interval_ms = interval_ms;
  window.Apply(settings);
  window.Connect();
}

QString StateText(const MonitorWindow& window) {
  return window.findChild<QLabel*>("state")->text();
}

QString Cell(const MonitorWindow& window, int row, int column) {
  const auto* table = window.findChild<kelvo_monitor::ValuesTable*>("values_table");
  const QTableWidgetItem* item = table->item(row, column);
  return item ? item->text() : QString();
}

}  // namespace

class MonitorWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void valuesAndCells_data();
  void valuesAndCells();
  void recordsEveryAnswer();
  void failedRecordingStopsVisibly();
  void silence_data();
  void silence();
  void linkDropsAndReturns();
  void portThatCannotOpen();
  void trendsBreakAtOutages();
  void chartsReadableAtEachSize_data();
  void chartsReadableAtEachSize();
  void onDemandBetweenPolls_data();
  void onDemandBetweenPolls();
};

void MonitorWindowTest::valuesAndCells_data() {
  QTest::addColumn<int>("cells");
  QTest::addColumn<int>("sensors");
  QTest::newRow("16 cells, 4 sensors") << 16 << 4;
  QTest::newRow("8 cells, 2 sensors") << 8 << 2;
}

void MonitorWindowTest::valuesAndCells() {
  QFETCH(int, cells);
  QFETCH(int, sensors);
  auto server = ServeUnit({cells, sensors});
  QString pty;
  QVERIFY(server->ServePty(&pty));
  MonitorWindow window;
  window.show();
  Watch(window, pty, 0, 1000);

  // The first answer: the unit's clock starts at 1700000000; the capacities are
  // the simulated battery's constants.
  QVERIFY(window.windowTitle().contains(QStringLiteral("kelvo-monitor")));
  QTRY_COMPARE(Cell(window, 0, 1), QStringLiteral("1700000000"));
  QCOMPARE(Cell(window, 0, 0), QStringLiteral("设备时间"));
  QCOMPARE(Cell(window, 0, 2), QStringLiteral("6553F100"));
  QCOMPARE(Cell(window, 4, 0), QStringLiteral("单体串联个数"));
  QCOMPARE(Cell(window, 4, 1), QString::number(cells));
  QCOMPARE(Cell(window, 8, 1), QString::number(sensors));
  QCOMPARE(Cell(window, 25, 0), QStringLiteral("电池满充容量"));
  QCOMPARE(Cell(window, 25, 1), QStringLiteral("4850"));
  QCOMPARE(Cell(window, 26, 1), QStringLiteral("4820"));
  QCOMPARE(Cell(window, 5, 1).split(QLatin1Char(' ')).size(), cells);

  // One bar per cell, split over the ordinary, lowest and highest bars.
  auto* bars = window.findChild<kelvo_monitor::CellBars*>("cell_bars");
  int shown = 0;
  for (int i = 0; i < bars->plot()->plottableCount(); ++i) {
    shown += static_cast<QCPBars*>(bars->plot()->plottable(i))->data()->size();
  }
  QCOMPARE(shown, cells);
  QVERIFY(bars->findChild<QLabel*>("cell_summary")->text().contains(QStringLiteral("压差")));
}

void MonitorWindowTest::recordsEveryAnswer() {
  auto server = ServeUnit();
  QString pty;
  QVERIFY(server->ServePty(&pty));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("answers.csv"));
  MonitorWindow window;
  QVERIFY(window.StartRecording(path));
  QSignalSpy answers(&window.poller(), &kelvo_monitor::Poller::answered);
  Watch(window, pty, 0, 100);
  QTRY_VERIFY(answers.size() >= 3);
  window.Disconnect();
  window.StopRecording();

  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  QVERIFY(text.endsWith('\n'));
  const QList<QByteArray> lines = text.trimmed().split('\n');
  QVERIFY(lines[0].startsWith(
      "time,address,设备时间,工作循环耗时,SOH,总电压,单体串联个数,单体电压数组[1],单体电压数组[2]"));
  QCOMPARE(lines.size(), 1 + answers.size());
  const int columns = static_cast<int>(lines[0].split(',').size());
  for (int i = 0; i < answers.size(); ++i) {
    const QList<QByteArray> row = lines[i + 1].split(',');
    QCOMPARE(row.size(), columns);
    QCOMPARE(row[1], QByteArray("0"));
    // The device time, characters 10-17 of the answer, in decimal.
    const QByteArray frame = answers[i][0].toByteArray();
    QCOMPARE(row[2], QByteArray::number(frame.mid(10, 8).toUInt(nullptr, 16)));
    QCOMPARE(row[8], QByteArray::number(frame.mid(34, 4).toUInt(nullptr, 16)));  // second cell
  }
}

void MonitorWindowTest::failedRecordingStopsVisibly() {
  auto server = ServeUnit();
  QString pty;
  QVERIFY(server->ServePty(&pty));
  MonitorWindow window;
  QVERIFY(window.StartRecording(QStringLiteral("/dev/full")));
  QSignalSpy failed(&window, &MonitorWindow::recordingFailed);
  Watch(window, pty, 0, 100);
  QVERIFY(failed.wait());
  QVERIFY(failed[0][0].toString().contains(QStringLiteral("/dev/full")));
  QVERIFY(!window.recorder().recording());
  QVERIFY(!window.findChild<QAction*>("record")->isChecked());
  const QString counters = window.findChild<QLabel*>("counters")->text();
  QVERIFY2(counters.contains(QStringLiteral("记录已停止 (0 行): /dev/full")), qPrintable(counters));
  // Polling goes on without the recording, and the failure is said once.
  const qint64 answered = window.poller().counters().answered;
  QTRY_VERIFY(window.poller().counters().answered > answered + 1);
  QCOMPARE(failed.size(), 1);
}

void MonitorWindowTest::silence_data() {
  QTest::addColumn<int>("address");
  QTest::addColumn<Faults>("faults");
  QTest::addColumn<QString>("in_traffic");  // the verdict comes first, before the frame
  QTest::addColumn<QString>("reason");      // in the status bar, in the window's language
  QTest::newRow("nobody at the address") << 9 << Faults{} << ""
                                         << "(无应答 (静默))";
  QTest::newRow("every answer dropped") << 0 << Faults{.drop = 1} << ""
                                        << "(无应答 (静默))";
  QTest::newRow("every check value wrong") << 0 << Faults{.corrupt = 1} << "<- !! 格式错误: 校验值错误"
                                           << "(格式错误: 校验值错误";
  QTest::newRow("another address answers") << 0 << Faults{.wrong_address = 1} << "<- !! 地址不符   <"
                                           << "(地址不符)";
}

void MonitorWindowTest::silence() {
  QFETCH(int, address);
  QFETCH(Faults, faults);
  QFETCH(QString, in_traffic);
  QFETCH(QString, reason);
  auto server = ServeUnit({}, faults);
  QString pty;
  QVERIFY(server->ServePty(&pty));
  MonitorWindow window;
  Watch(window, pty, address, 200);
  QTRY_VERIFY_WITH_TIMEOUT(StateText(window).contains(QStringLiteral("秒无应答")), 10000);
  QTRY_VERIFY2(StateText(window).contains(reason), qPrintable(StateText(window)));
  // Polling goes on: each round is a new request that fails on its own.
  const qint64 requests = window.poller().counters().requests;
  QTRY_VERIFY(window.poller().counters().requests >= requests + 3);
  QCOMPARE(window.poller().counters().answered, 0);
  QVERIFY(window.poller().counters().failed >= requests);
  const auto* traffic = window.findChild<QPlainTextEdit*>("traffic_view");
  QTRY_VERIFY(traffic->toPlainText().contains(QStringLiteral("-> <1530")));
  if (!in_traffic.isEmpty()) QTRY_VERIFY(traffic->toPlainText().contains(in_traffic));
}

void MonitorWindowTest::linkDropsAndReturns() {
  auto server = ServeUnit();
  QVERIFY(server->Listen(QStringLiteral("tcp://127.0.0.1:0")));
  const QString url = server->listenAddress();
  MonitorWindow window;
  Watch(window, url, 0, 100);
  QTRY_VERIFY(window.poller().counters().answered >= 2);

  QSignalSpy missed(&window.poller(), &kelvo_monitor::Poller::pollFailed);
  server.reset();  // the unit goes away, and its connection with it
  QTRY_VERIFY(StateText(window).contains(QStringLiteral("连接中断")) ||
              StateText(window).contains(QStringLiteral("正在重试")));
  // Rounds go on while the link is down.
  QTRY_VERIFY(missed.size() >= 2);
  // What is on show is old: its age is said, and the values and bars go grey.
  QTRY_VERIFY(window.showsStale());
  QTRY_VERIFY2(StateText(window).contains(QStringLiteral("最后应答于")), qPrintable(StateText(window)));
  const auto* table = window.findChild<kelvo_monitor::ValuesTable*>("values_table");
  QVERIFY(table->palette().color(QPalette::Text) != QApplication::palette().color(QPalette::Text));
  QVERIFY(window.findChild<kelvo_monitor::CellBars*>("cell_bars")->stale());

  server = ServeUnit();
  QVERIFY(server->Listen(url));
  const qint64 answered = window.poller().counters().answered;
  QTRY_VERIFY_WITH_TIMEOUT(window.poller().counters().answered >= answered + 2, 10000);
  QTRY_COMPARE(StateText(window), QStringLiteral("已连接"));
  QVERIFY(!window.showsStale());
  QCOMPARE(table->palette().color(QPalette::Text), QApplication::palette().color(QPalette::Text));
  QVERIFY(!window.findChild<kelvo_monitor::CellBars*>("cell_bars")->stale());
}

void MonitorWindowTest::portThatCannotOpen() {
  MonitorWindow window;
  window.SetTroubleReminderInterval(400);
  QSignalSpy polls(&window.poller(), &kelvo_monitor::Poller::pollFailed);
  Watch(window, QStringLiteral("/nonexistent/ttyKVZ"), 0, 50);
  QTRY_VERIFY(polls.size() >= 4);
  auto* traffic = window.findChild<kelvo_monitor::TrafficLog*>("traffic_log");
  auto log = [traffic] {
    traffic->Flush();
    return traffic->view()->toPlainText();
  };
  QCOMPARE(log().count(QStringLiteral("/nonexistent/ttyKVZ")), 1);
  // Nothing was written, so nothing was sent or failed.
  QCOMPARE(window.poller().counters().requests, 0);
  QCOMPARE(window.poller().counters().failed, 0);
  QVERIFY2(StateText(window).contains(QStringLiteral("/nonexistent/ttyKVZ: 没有这个设备")),
           qPrintable(StateText(window)));
  // The trouble is said once and then at the reminder's rhythm, not once a round.
  QTRY_VERIFY(log().contains(QStringLiteral("仍未连接")));
  const qsizetype rounds = polls.size();
  QVERIFY2(log().count(QStringLiteral("/nonexistent/ttyKVZ")) <= 1 + rounds / 2, qPrintable(log()));
}

void MonitorWindowTest::trendsBreakAtOutages() {
  kelvo_monitor::TrendCharts trends;
  trends.SetChosenFields({kelvo_monitor::kC2TotalVoltage});
  trends.SetGapAfter(3);
  trends.SetSpan(60);
  trends.resize(900, 300);
  trends.show();
  QVERIFY(QTest::qWaitForWindowExposed(&trends));
  trends.plot()->replot();  // lays the rows out: a column per pixel
  std::vector<kelvo_monitor::AnswerField> fields(30);
  auto answer = [&](double time, std::uint64_t volts) {
    fields[kelvo_monitor::kC2TotalVoltage].number = volts;
    trends.AddAnswer(time, fields);
  };
  // Answers a second apart, 15 s of silence, then a link loss between two answers.
  const double t0 = std::floor(QDateTime::currentMSecsSinceEpoch() / 1000.0) - 18;
  for (int i = 0; i < 3; ++i) answer(t0 + i, 5200);
  answer(t0 + 17, 5300);
  trends.MarkLinkLost();
  answer(t0 + 18, 5400);
  trends.Refresh();
  QStringList line;
  QCPGraph* graph = trends.plot()->graph(0);
  for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
    line << (std::isnan(it->value) ? QStringLiteral("|") : QString::number(it->key - t0));
  }
  QCOMPARE(line.join(QLatin1Char(' ')), QStringLiteral("0 1 2 | 17 | 18"));
  // Both outages are shaded, and one going on now grows a shade of its own.
  auto shades = [&trends] {
    int count = 0;
    for (int i = 0; i < trends.plot()->itemCount(); ++i)
      count += qobject_cast<QCPItemRect*>(trends.plot()->item(i)) != nullptr;
    return count;
  };
  QCOMPARE(shades(), 2);
  QVERIFY(!trends.OngoingOutage(t0 + 20));
  QCOMPARE(trends.OngoingOutage(t0 + 22)->from, t0 + 18);
  trends.MarkLinkLost();
  trends.Refresh();
  QCOMPARE(shades(), 3);
}

void MonitorWindowTest::chartsReadableAtEachSize_data() {
  QTest::addColumn<QSize>("size");
  QTest::newRow("800x600") << QSize(800, 600);
  QTest::newRow("1280x800") << QSize(1280, 800);
  QTest::newRow("1920x1080") << QSize(1920, 1080);
}

void MonitorWindowTest::chartsReadableAtEachSize() {
  QFETCH(QSize, size);
  auto server = ServeUnit({16, 4});
  QString pty;
  QVERIFY(server->ServePty(&pty));
  MonitorWindow window;
  window.resize(size);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  Watch(window, pty, 0, 50);
  QTRY_VERIFY(window.poller().counters().answered >= 3);
  auto* trends = window.findChild<kelvo_monitor::TrendCharts*>("trend_charts");
  trends->Refresh();
  trends->plot()->replot();

  // Everything fits in the window: nothing is cut off at its right edge.
  QVERIFY(window.minimumSizeHint().width() <= size.width());
  QVERIFY(window.centralWidget()->width() <= size.width());
  const QRect area(window.findChild<QWidget*>("trend_scroll")->mapTo(&window, QPoint(0, 0)),
                   window.findChild<QWidget*>("trend_scroll")->size());
  QVERIFY2(
      window.rect().contains(area),
      qPrintable(
          QStringLiteral("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height())));
  // Each chart keeps a readable height (the area scrolls when they do not fit),
  // and each field's title lies inside its own chart.
  const QList<QCPAxisRect*> rects = trends->plot()->axisRects();
  QCOMPARE(rects.size(), 5);
  QList<QRectF> titles;
  for (int i = 0; i < trends->plot()->itemCount(); ++i) {
    auto* title = qobject_cast<QCPItemText*>(trends->plot()->item(i));
    if (!title) continue;
    const QRectF box(title->topLeft->pixelPosition(), title->bottomRight->pixelPosition());
    for (const QRectF& other : titles) QVERIFY(!box.intersects(other));
    titles << box;
  }
  QCOMPARE(titles.size(), rects.size());
  for (int r = 0; r < rects.size(); ++r) {
    QVERIFY2(rects[r]->height() >= 80, qPrintable(QString::number(rects[r]->height())));
    QVERIFY(QRectF(rects[r]->rect()).adjusted(-1, -1, 1, 1).contains(titles[r]));
    // Whole numbers get whole ticks.
    for (const double tick : rects[r]->axis(QCPAxis::atLeft)->tickVector()) QCOMPARE(tick, std::round(tick));
  }
  // The temperatures' lines are named by sensor number.
  const auto legends = trends->plot()->findChildren<QCPLegend*>("trend_legend");
  QCOMPARE(legends.size(), 1);
  QStringList names;
  for (int i = 0; i < legends[0]->itemCount(); ++i) {
    names << static_cast<QCPPlottableLegendItem*>(legends[0]->item(i))->plottable()->name();
  }
  QCOMPARE(names.join(QLatin1Char(',')), QStringLiteral("1 号,2 号,3 号,4 号"));
}

void MonitorWindowTest::onDemandBetweenPolls_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("input");  // the line edit to fill first, "name=text"
  QTest::addColumn<QByteArray>("command");
  QTest::addColumn<int>("rows");
  QTest::addColumn<QString>("first_hex");
  // The device information echoes the request's command version.
  QTest::newRow("device information") << "device_info"
                                      << "" << QByteArray("48") << 19 << "00000001";
  QTest::newRow("one register") << "read_register"
                                << "register=1A" << QByteArray("65") << 2 << "001A";
  QTest::newRow("registers") << "read_registers"
                             << "registers=0026 0027 30" << QByteArray("66") << 2 << "03";
}

void MonitorWindowTest::onDemandBetweenPolls() {
  QFETCH(QString, button);
  QFETCH(QString, input);
  QFETCH(QByteArray, command);
  QFETCH(int, rows);
  QFETCH(QString, first_hex);
  auto server = ServeUnit();
  QString pty;
  QVERIFY(server->ServePty(&pty));
  QSignalSpy seen(server.get(), &UnitServer::requestSeen);
  MonitorWindow window;
  Watch(window, pty, 0, 150);
  QTRY_VERIFY(window.poller().counters().answered >= 1);

  if (!input.isEmpty()) {
    const QStringList parts = input.split(QLatin1Char('='));
    window.findChild<QLineEdit*>(parts[0])->setText(parts[1]);
  }
  window.findChild<QPushButton*>(button)->click();
  const auto* result = window.findChild<QTableWidget*>("on_demand_result");
  QTRY_COMPARE(result->rowCount(), rows);
  QCOMPARE(result->item(0, 2)->text(), first_hex);
  // It went out once, between polls, and polling went on after it.
  int asked = 0;
  for (const QList<QVariant>& call : seen) asked += call[0].toByteArray().mid(6, 2) == command;
  QCOMPARE(asked, 1);
  const qint64 answered = window.poller().counters().answered;
  QTRY_VERIFY(window.poller().counters().answered > answered);
  QCOMPARE(window.poller().counters().failed, 0);
}

QTEST_MAIN(MonitorWindowTest)
#include "monitor_window_test.moc"
