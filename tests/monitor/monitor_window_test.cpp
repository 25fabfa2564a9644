// The window against the simulated unit in process, over a pseudo-terminal
// pair and loopback TCP: what it shows with and without a unit profile, what
// it records, how it rides out silence and a lost link, on-demand requests
// between polls, and alarms on its values.
#include "monitor_window.h"

#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <cmath>
#include <memory>

#include "alarm_banner.h"
#include "alarm_list.h"
#include "alarm_look.h"
#include "alarm_rules_file.h"
#include "cell_bars.h"
#include "monitor_settings.h"
#include "sim/unit_server.h"
#include "traffic_log.h"
#include "trend_charts.h"
#include "values_table.h"
#include "window_profile.h"

using kelvo_monitor::MonitorWindow;
using kelvo_monitor::ValuesTable;
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
  const auto* table = window.findChild<ValuesTable*>("values_table");
  const QTableWidgetItem* item = table->item(row, column);
  return item ? item->text() : QString();
}

// The row whose profile key (or, for a field the profile leaves out, whose
// name) is `key`, as "key|name|value|raw|hex"; empty when there is none.
QString Row(const MonitorWindow& window, const QString& key) {
  const auto* table = window.findChild<ValuesTable*>("values_table");
  for (int r = 0; r < table->rowCount(); ++r) {
    if (table->RowKey(r) != key && !(table->RowKey(r).isEmpty() && Cell(window, r, 0) == key)) continue;
    QStringList texts{key};
    for (int c = 0; c < table->columnCount(); ++c) texts << Cell(window, r, c);
    return texts.join(QLatin1Char('|'));
  }
  return {};
}

void UseProfile(MonitorWindow& window, const QString& choice) {
  QString why;
  const auto profile = kelvo_monitor::LoadWindowProfile(choice, &why);
  QVERIFY2(profile, qPrintable(why));
  window.SetProfile(*profile);
}

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
  QFile file(dir.filePath(name));
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) return {};
  return file.fileName();
}

// A site's profile: the total voltage in millivolts under a name of its own, nothing else.
const QByteArray kSiteProfile =
    "[field.pack_voltage]\nlabel = \"总电压\"\nunit = \"mV\"\nscale = 10\n"
    "title = { zh = \"电池组电压\", en = \"Pack voltage\" }\n";

// The alarm list's lines, each as "name|watched|severity|value|threshold|element|state".
QStringList AlarmLines(const MonitorWindow& window) {
  using kelvo_monitor::AlarmList;
  const QTableWidget* table = window.findChild<AlarmList*>("alarm_list")->table();
  QStringList lines;
  for (int r = 0; r < table->rowCount(); ++r) {
    QStringList texts;
    for (int c :
         {AlarmList::NameColumn, AlarmList::WatchedColumn, AlarmList::SeverityColumn, AlarmList::ValueColumn,
          AlarmList::ThresholdColumn, AlarmList::ElementColumn, AlarmList::StateColumn})
      texts << table->item(r, c)->text();
    lines << texts.join(QLatin1Char('|'));
  }
  return lines;
}

QString BannerText(const MonitorWindow& window) {
  const auto* banner = window.findChild<kelvo_monitor::AlarmBanner*>("alarm_banner");
  return banner->isVisible() ? banner->text() : QString();
}

// The row of the values table whose profile key is `key`, or -1.
int RowOf(const MonitorWindow& window, const QString& key) {
  const auto* table = window.findChild<ValuesTable*>("values_table");
  for (int r = 0; r < table->rowCount(); ++r) {
    if (table->RowKey(r) == key) return r;
  }
  return -1;
}

QString CellSummary(const MonitorWindow& window) {
  return window.findChild<kelvo_monitor::CellBars*>("cell_bars")->findChild<QLabel*>("cell_summary")->text();
}

}  // namespace

class MonitorWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void valuesAndCells_data();
  void valuesAndCells();
  void valuesInUnits_data();
  void valuesInUnits();
  void choosingProfiles();
  void recordsEveryAnswer_data();
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
  void alarmsOnTheValues();
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
  UseProfile(window, QStringLiteral("none"));
  window.show();
  Watch(window, pty, 0, 1000);

  // The first answer, as the unit sends it: the unit's clock starts at
  // 1700000000; the capacities are the simulated battery's constants.
  constexpr int kRaw = ValuesTable::RawColumn;
  QVERIFY(window.windowTitle().contains(QStringLiteral("kelvo-monitor")));
  QTRY_COMPARE(Cell(window, 0, kRaw), QStringLiteral("1700000000"));
  QCOMPARE(Cell(window, 0, ValuesTable::NameColumn), QStringLiteral("设备时间"));
  QCOMPARE(Cell(window, 0, ValuesTable::HexColumn), QStringLiteral("6553F100"));
  QCOMPARE(Cell(window, 4, ValuesTable::NameColumn), QStringLiteral("单体串联个数"));
  QCOMPARE(Cell(window, 4, kRaw), QString::number(cells));
  QCOMPARE(Cell(window, 8, kRaw), QString::number(sensors));
  QCOMPARE(Cell(window, 25, ValuesTable::NameColumn), QStringLiteral("电池满充容量"));
  QCOMPARE(Cell(window, 25, kRaw), QStringLiteral("4850"));
  QCOMPARE(Cell(window, 26, kRaw), QStringLiteral("4820"));
  QCOMPARE(Cell(window, 5, kRaw).split(QLatin1Char(' ')).size(), cells);
  // Without a profile: no values column, and no derived rows after the fields.
  const auto* table = window.findChild<ValuesTable*>("values_table");
  QVERIFY(table->isColumnHidden(ValuesTable::ValueColumn));
  QCOMPARE(table->horizontalHeaderItem(kRaw)->text(), QStringLiteral("数值"));
  QCOMPARE(table->rowCount(), 29);

  // One bar per cell, split over the ordinary, lowest and highest bars.
  auto* bars = window.findChild<kelvo_monitor::CellBars*>("cell_bars");
  int shown = 0;
  for (int i = 0; i < bars->plot()->plottableCount(); ++i) {
    shown += static_cast<QCPBars*>(bars->plot()->plottable(i))->data()->size();
  }
  QCOMPARE(shown, cells);
  QVERIFY(bars->findChild<QLabel*>("cell_summary")->text().contains(QStringLiteral("压差")));
}

void MonitorWindowTest::valuesInUnits_data() {
  QTest::addColumn<QString>("profile");  // "" the default, else a file's text
  QTest::addColumn<bool>("english");
  QTest::addColumn<int>("row_count");
  QTest::addColumn<QStringList>("rows");  // key|name|value|raw|hex
  QTest::addColumn<QString>("cells");     // the cell bars' summary
  QTest::addColumn<QString>("trend");     // the first chart: title|value axis|last value

  // The first answer at address 0, worked by hand from the simulated battery:
  // 80 % of 48.50 Ah is 38.80 Ah, so the cells rest at 3000 + 400 x 3880 / 4850
  // = 3320 mV less 36 mV under the 18 A discharge, 3284 mV, each off by its own
  // (7 x cell) % 11 - 5 mV: 3279 mV lowest (cells 1 and 12), 3289 mV highest
  // (cells 4 and 15); they add up to 52545 mV, sent in 10 mV as 5254 (1486),
  // 52.54 V. The sensors read 25 °C + 3 + sensor % 3, sent as 40 more (44...).
  // Current 0 - 18.00 A; power 52.54 V x -18.00 A = -945.72 W.
  QTest::newRow("default profile")
      << "" << false << 29 + 9
      << QStringList{"total_voltage|总电压|52.54 V|5254|1486",
                     "temperatures|传感器温度数组|28 29 30 28 °C|68 69 70 68|44454644",
                     "current_state|电流状态|discharging|2|0002",
                     "mos_state|MOS状态|charge_switch, discharge_switch|3|03",
                     "remaining_capacity|电池当前容量|38.80 Ah|3880|0F28",
                     "soh|SOH|97 %|97|61",
                     "current|电流|-18.00 A||",
                     "power|功率|-945.72 W||",
                     "cell_min|最低单体电压|3.279 V||",
                     "cell_max_cell|最高单体编号|4||",
                     "cell_spread|单体压差|0.010 V||",
                     "temperature_max|最高温度|30 °C||"}
      << "最高: 4 号 3.289 V\n最低: 1 号 3.279 V\n压差: 0.010 V"
      << "总电压|V|52.54";
  QTest::newRow("default profile, English")
      << "" << true << 29 + 9
      << QStringList{"total_voltage|Total voltage|52.54 V|5254|1486", "soh|State of health|97 %|97|61",
                     "current|Current|-18.00 A||"}
      << "Highest: cell 4, 3.289 V\nLowest: cell 1, 3.279 V\nSpread: 0.010 V"
      << "Total voltage|V|52.54";
  // Fields the profile leaves out keep their label and their raw number; no
  // inputs, no derived rows; the cells, not in the profile, stay in mV.
  QTest::newRow("site profile") << QString::fromUtf8(kSiteProfile) << false << 29
                                << QStringList{"pack_voltage|电池组电压|52540 mV|5254|1486",
                                               "单体串联个数|单体串联个数||16|10"}
                                << "最高: 4 号 3289\n最低: 1 号 3279\n压差: 10"
                                << "电池组电压|mV|52540";
}

void MonitorWindowTest::valuesInUnits() {
  QFETCH(QString, profile);
  QFETCH(bool, english);
  QFETCH(int, row_count);
  QFETCH(QStringList, rows);
  QFETCH(QString, cells);
  QFETCH(QString, trend);
  QTranslator translator;
  if (english) {
    QVERIFY(translator.load(QStringLiteral("kelvo_monitor_en"), QStringLiteral(":/i18n")));
    QApplication::installTranslator(&translator);
  }
  QTemporaryDir dir;
  auto server = ServeUnit();
  QString pty;
  QVERIFY(server->ServePty(&pty));
  MonitorWindow window;
  UseProfile(window, profile.isEmpty() ? profile : Write(dir, "site.toml", profile.toUtf8()));
  // Long enough between polls that the first answer stays on show.
  Watch(window, pty, 0, 10000);

  QTRY_VERIFY(!Row(window, rows[0].section(QLatin1Char('|'), 0, 0)).isEmpty());
  for (const QString& row : rows) QCOMPARE(Row(window, row.section(QLatin1Char('|'), 0, 0)), row);
  QCOMPARE(window.findChild<ValuesTable*>("values_table")->rowCount(), row_count);
  QCOMPARE(CellSummary(window), cells);

  auto* trends = window.findChild<kelvo_monitor::TrendCharts*>("trend_charts");
  trends->Refresh();
  QCPAxisRect* first = trends->plot()->axisRect(0);
  QString title;
  for (int i = 0; i < trends->plot()->itemCount(); ++i) {
    auto* text = qobject_cast<QCPItemText*>(trends->plot()->item(i));
    if (text && text->position->axisRect() == first) title = text->text();
  }
  const auto* line = trends->plot()->graph(0)->data().data();
  QVERIFY(!line->isEmpty());
  QCOMPARE(QStringList(
               {title, first->axis(QCPAxis::atLeft)->label(), QString::number((line->constEnd() - 1)->value)})
               .join(QLatin1Char('|')),
           trend);
  if (english) QApplication::removeTranslator(&translator);
}

void MonitorWindowTest::choosingProfiles() {
  auto server = ServeUnit();
  QString pty;
  QVERIFY(server->ServePty(&pty));
  QTemporaryDir dir;
  const QString site = Write(dir, "site.toml", kSiteProfile);
  const QString bad = Write(dir, "bad.toml", "[field.volts]\nlabel = \"总电压\"\nscal = 0.01\n");
  MonitorWindow window;
  window.show();
  QVERIFY(window.ChooseProfile(QString()));
  Watch(window, pty, 0, 10000);
  QTRY_COMPARE(Row(window, "total_voltage").section(QLatin1Char('|'), 2, 2), QStringLiteral("52.54 V"));
  const auto* in_use = window.findChild<QLabel*>("profile");
  QCOMPARE(in_use->text(), QStringLiteral("配置: default.toml (默认)"));
  QVERIFY(window.findChild<QAction*>("default_profile")->isChecked());

  // A refused file keeps the profile in use, and a box says why.
  const QStringList refused[] = {
      {bad, "bad.toml: line 3: unknown key \"scal\" in [field.volts]"},
      {"/nonexistent/site.toml", "/nonexistent/site.toml: cannot read the profile"}};
  for (const QStringList& file : refused) {
    QString why;
    QVERIFY(!window.ChooseProfile(file[0], &why));
    QVERIFY2(why.endsWith(file[1]), qPrintable(why));
    auto* box = window.findChild<QMessageBox*>("profile_refused");
    QVERIFY(box && box->isVisible());
    QVERIFY2(box->text().contains(file[1]), qPrintable(box->text()));
    delete box;
    QCOMPARE(in_use->text(), QStringLiteral("配置: default.toml (默认)"));
    QVERIFY(window.findChild<QAction*>("default_profile")->isChecked());
    QCOMPARE(Row(window, "total_voltage").section(QLatin1Char('|'), 2, 2), QStringLiteral("52.54 V"));
  }

  // Another profile shows the answer on show in its units at once, not at the next answer.
  QVERIFY(window.ChooseProfile(site));
  QCOMPARE(Row(window, "pack_voltage"), QStringLiteral("pack_voltage|电池组电压|52540 mV|5254|1486"));
  QCOMPARE(in_use->text(), QStringLiteral("配置: site.toml"));
  QCOMPARE(in_use->toolTip(), site);
  QVERIFY(window.findChild<QAction*>("profile_file")->isChecked());

  // None: the numbers as the unit sends them, as without profiles.
  QVERIFY(window.ChooseProfile(QStringLiteral("none")));
  const auto* table = window.findChild<ValuesTable*>("values_table");
  QVERIFY(table->isColumnHidden(ValuesTable::ValueColumn));
  QCOMPARE(Cell(window, 3, ValuesTable::NameColumn), QStringLiteral("总电压"));
  QCOMPARE(Cell(window, 3, ValuesTable::RawColumn), QStringLiteral("5254"));
  QCOMPARE(table->rowCount(), 29);
  QCOMPARE(CellSummary(window), QStringLiteral("最高: 4 号 3289\n最低: 1 号 3279\n压差: 10"));
  QCOMPARE(in_use->text(), QStringLiteral("配置: 无 (原始数值)"));
  QVERIFY(window.findChild<QAction*>("no_profile")->isChecked());
}

void MonitorWindowTest::recordsEveryAnswer_data() {
  QTest::addColumn<QString>("profile");
  // The file is poll --format csv without a profile, whatever the window shows.
  QTest::newRow("default profile") << "";
  QTest::newRow("site profile") << "site";
  QTest::newRow("no profile") << "none";
}

void MonitorWindowTest::recordsEveryAnswer() {
  QFETCH(QString, profile);
  auto server = ServeUnit();
  QString pty;
  QVERIFY(server->ServePty(&pty));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("answers.csv"));
  MonitorWindow window;
  UseProfile(window, profile == QStringLiteral("site") ? Write(dir, "site.toml", kSiteProfile) : profile);
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
    QCOMPARE(row[5], QByteArray::number(frame.mid(24, 4).toUInt(nullptr, 16)));  // total voltage
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
  // A unit that does not answer is the built-in offline alarm, critical, without --alarms too.
  window.show();
  QTRY_COMPARE(AlarmLines(window), QStringList{"offline|设备应答|严重||||未确认"});
  QVERIFY2(BannerText(window).startsWith(QStringLiteral("严重告警: offline, 自 ")),
           qPrintable(BannerText(window)));
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
  // A lost link is one alarm, the link's, not the unit's offline.
  window.show();
  QTRY_COMPARE(AlarmLines(window), QStringList{"bus_down|连接|严重||||连接恢复时消除"});
  QVERIFY(BannerText(window).contains(QStringLiteral("bus_down")));

  server = ServeUnit();
  QVERIFY(server->Listen(url));
  const qint64 answered = window.poller().counters().answered;
  QTRY_VERIFY_WITH_TIMEOUT(window.poller().counters().answered >= answered + 2, 10000);
  QTRY_COMPARE(StateText(window), QStringLiteral("已连接"));
  QVERIFY(!window.showsStale());
  QCOMPARE(table->palette().color(QPalette::Text), QApplication::palette().color(QPalette::Text));
  QVERIFY(!window.findChild<kelvo_monitor::CellBars*>("cell_bars")->stale());
  QTRY_COMPARE(AlarmLines(window), QStringList());
  QCOMPARE(BannerText(window), QString());
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
  UseProfile(window, QString());
  window.resize(size);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  Watch(window, pty, 0, 50);
  // The default charts: total voltage, charge and discharge current, capacity percentage, temperatures.
  const QStringList units{"V", "A", "A", "%", "°C"};
  const double steps[] = {0.01, 0.01, 0.01, 1, 1};
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
    // Each value axis is titled with its unit, and its ticks fall on values
    // the field can take: hundredths of a volt or an ampere, whole per cent
    // and degrees.
    QCOMPARE(rects[r]->axis(QCPAxis::atLeft)->label(), units[r]);
    for (const double tick : rects[r]->axis(QCPAxis::atLeft)->tickVector()) {
      QVERIFY2(std::abs(tick / steps[r] - std::round(tick / steps[r])) < 1e-6,
               qPrintable(QString::number(tick)));
    }
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

void MonitorWindowTest::alarmsOnTheValues() {
  using kelvo_alarms::Severity;
  // Around the simulated unit's first answer (worked out in valuesInUnits):
  // the highest cell 3.289 V (cells 4 and 15, cell 7 3.288 V), 38.80 Ah left.
  // A second later every cell is 1 mV lower and 38.79 Ah are left, which
  // clears cell 7's alarm and the latched rule's condition.
  QTemporaryDir dir;
  const QString rules = Write(dir, "alarms.toml",
                              "[[alarm]]\nname = \"cell_high\"\nvalue = \"cell_max\"\nabove = 3.285\n"
                              "severity = \"critical\"\n\n"
                              "[[alarm]]\nname = \"cell_over\"\nvalue = \"cell_voltages\"\nabove = 3.2875\n\n"
                              "[[alarm]]\nname = \"capacity_high\"\nvalue = \"remaining_capacity\"\n"
                              "above = 38.795\nlatch = true\n");
  auto server = ServeUnit();
  QString pty;
  QVERIFY(server->ServePty(&pty));
  MonitorWindow window;
  UseProfile(window, QString());
  QString why;
  auto loaded = kelvo_monitor::LoadAlarmRulesFile(rules, window.profile().profile.get(), &why);
  QVERIFY2(loaded, qPrintable(why));
  window.SetAlarmRules(rules, loaded);
  window.show();
  Watch(window, pty, 0, 200);

  // The list in the order of the rules, each element its own line, with the
  // value that raised it; the latched one waits for its acknowledgement.
  const QStringList raised{"cell_high|最高单体电压|严重|3.289 V|> 3.285 V||未确认",
                           "cell_over|单体电压数组|警告|3.289 V|> 3.2875 V|4 号|未确认",
                           "cell_over|单体电压数组|警告|3.289 V|> 3.2875 V|15 号|未确认"};
  const QString latched = "capacity_high|电池当前容量|警告|38.80 Ah|> 38.795 Ah||已锁存: 已恢复, 待确认";
  QTRY_COMPARE_WITH_TIMEOUT(AlarmLines(window), raised + QStringList{latched}, 10000);
  QVERIFY2(BannerText(window).startsWith(QStringLiteral("严重告警: cell_high 3.289 V (> 3.285 V), 自 ")),
           qPrintable(BannerText(window)));

  // The rows of the values in alarm, all their columns, in their severity's
  // colours; the latched rule's value is back, and its row plain.
  const auto* table = window.findChild<ValuesTable*>("values_table");
  QCOMPARE(table->RowAlarm(RowOf(window, "cell_max")), std::optional(Severity::Critical));
  QCOMPARE(table->RowAlarm(RowOf(window, "cell_voltages")), std::optional(Severity::Warning));
  QCOMPARE(table->RowAlarm(RowOf(window, "cell_min")), std::nullopt);
  QCOMPARE(table->RowAlarm(RowOf(window, "remaining_capacity")), std::nullopt);
  for (int c = 0; c < table->columnCount(); ++c) {
    QCOMPARE(table->item(RowOf(window, "cell_max"), c)->background().color(), QColor(0xc6, 0x28, 0x28));
    QCOMPARE(table->item(RowOf(window, "cell_max"), c)->foreground().color(), QColor(Qt::white));
  }
  // Each cell in alarm its own bar.
  QList<double> warned;
  const auto* bars = window.findChild<kelvo_monitor::CellBars*>("cell_bars");
  for (auto it = bars->alarmBars(Severity::Warning)->data()->constBegin();
       it != bars->alarmBars(Severity::Warning)->data()->constEnd(); ++it)
    warned << it->key;
  QCOMPARE(warned, (QList<double>{4, 15}));
  QVERIFY(bars->alarmBars(Severity::Critical)->data()->isEmpty());

  // Acknowledging the latched alarm takes it out; acknowledging all marks
  // the rest, which stand while their condition holds.
  auto* list = window.findChild<kelvo_monitor::AlarmList*>("alarm_list");
  auto* acknowledge_selected = list->findChild<QPushButton*>("acknowledge_selected");
  QVERIFY(!acknowledge_selected->isEnabled());
  list->table()->selectRow(3);
  QVERIFY(acknowledge_selected->isEnabled());
  acknowledge_selected->click();
  QCOMPARE(AlarmLines(window), raised);
  list->findChild<QPushButton*>("acknowledge_all")->click();
  QStringList acknowledged = raised;
  acknowledged.replaceInStrings(QStringLiteral("未确认"), QStringLiteral("已确认"));
  QCOMPARE(AlarmLines(window), acknowledged);
  QVERIFY(!list->findChild<QPushButton*>("acknowledge_all")->isEnabled());
  QVERIFY(BannerText(window).contains(QStringLiteral("已确认")));
  QCOMPARE(table->RowAlarm(RowOf(window, "cell_max")), std::optional(Severity::Critical));
  // The rules hold the profile: one without their values is refused, and the alarms stay.
  QVERIFY(!window.ChooseProfile(QStringLiteral("none"), &why));
  QVERIFY2(why.contains(QStringLiteral(
               "alarms.toml: line 3: key \"value\" in [[alarm]] number 1: no profile is in use")),
           qPrintable(why));
  delete window.findChild<QMessageBox*>("profile_refused");
  QCOMPARE(AlarmLines(window), acknowledged);
  // Each change is in the traffic log.
  auto* traffic = window.findChild<kelvo_monitor::TrafficLog*>("traffic_log");
  traffic->Flush();
  const QString log = traffic->view()->toPlainText();
  for (const char* change :
       {"告警 cell_high 触发 (严重): 3.289 V, 阈值 > 3.285 V", "告警 cell_over (7 号) 消除",
        "告警 capacity_high 消除", "告警 capacity_high 已确认", "告警 cell_over (15 号) 已确认"})
    QVERIFY2(log.contains(QString::fromUtf8(change)), change);
}

QTEST_MAIN(MonitorWindowTest)
#include "monitor_window_test.moc"
