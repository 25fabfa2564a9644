// The one round poller against a scripted unit over a real pseudo-terminal
// pair and over loopback TCP: rounds in order, misses with their reasons,
// requests asked between rounds, overruns, and a link that comes and goes.
#include "link/round_poller.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <memory>

#include "link/exchange.h"
#include "scripted_unit.h"

using kelvo_link::Exchange;
using kelvo_link::LinkClient;
using kelvo_link::RoundPoller;
using kelvo_link::RoundSettings;
using kelvo_link_test::ScriptedUnit;
using kelvo_link_test::Step;

namespace {

// Register 0026 of units 0 and 1, and their answers (= 1234), worked by hand.
const QByteArray kRequest0 = "<11300650400268D>";
const QByteArray kRequest1 = "<113016504002638>";
const QByteArray kAnswer0 = "<15300E508002612346E>";
const QByteArray kAnswer1 = "<15301E5080026123442>";

QByteArray RegisterRequest(int address) {
  return address == 0 ? kRequest0 : kRequest1;
}

std::unique_ptr<LinkClient> OpenClient(const ScriptedUnit& unit, int reconnect_ms = 0) {
  auto client = std::make_unique<LinkClient>(kelvo_link::PortSettings{unit.port(), 115200});
  client->SetReconnectInterval(reconnect_ms);
  QSignalSpy states(client.get(), &LinkClient::stateChanged);
  client->Open();
  while (client->state() != kelvo_link::LinkState::Open) {
    if (!states.wait(2000)) return nullptr;
  }
  return client;
}

// What the rounds reported, in order: "a0" answered address 0, "m1" missed 1, "r2" round 2 ended.
struct Log {
  QStringList events;
  QStringList reasons;

  void Listen(RoundPoller& rounds) {
    QObject::connect(&rounds, &RoundPoller::answered,
                     [this](int a, const Exchange&) { events << QStringLiteral("a%1").arg(a); });
    QObject::connect(&rounds, &RoundPoller::missed, [this](int a, const Exchange& e) {
      events << QStringLiteral("m%1").arg(a);
      reasons << e.reason();
    });
    QObject::connect(&rounds, &RoundPoller::roundEnded,
                     [this](std::int64_t r) { events << QStringLiteral("r%1").arg(r); });
  }
};

RoundSettings Settings(std::vector<int> addresses, std::int64_t rounds, int interval_ms, int timeout_ms,
                       int retries = 0) {
  RoundSettings settings;
  settings.addresses = std::move(addresses);
  settings.rounds = rounds;
  settings.interval_ms = interval_ms;
  settings.request = {timeout_ms, retries};
  settings.make_request = RegisterRequest;
  return settings;
}

}  // namespace

class RoundPollerTest : public QObject {
  Q_OBJECT

 private slots:
  void rounds_data();
  void rounds();
  void askedBetweenRounds_data();
  void askedBetweenRounds();
  void overrunDelaysTheNextRound();
  void serverClosingAfterEveryAnswer();
  void firstOpenRetried();
  void defaultRequestCarriesTheHostTime();
};

void RoundPollerTest::rounds_data() {
  QTest::addColumn<ScriptedUnit::Transport>("transport");
  QTest::addColumn<std::vector<int>>("addresses");
  QTest::addColumn<int>("retries");
  QTest::addColumn<std::vector<Step>>("script");
  QTest::addColumn<QStringList>("events");
  QTest::addColumn<QStringList>("reasons");
  QTest::addColumn<int>("requests");  // what the unit received

  for (const auto transport : {ScriptedUnit::Transport::Pty, ScriptedUnit::Transport::Tcp}) {
    const char* t = transport == ScriptedUnit::Transport::Pty ? "pty" : "tcp";
    QTest::addRow("%s: every address in order, two rounds", t)
        << transport << std::vector<int>{0, 1} << 0
        << std::vector<Step>{{{kAnswer0}}, {{kAnswer1}}, {{kAnswer0}}, {{kAnswer1}}}
        << QStringList{"a0", "a1", "r1", "a0", "a1", "r2"} << QStringList{} << 4;
    QTest::addRow("%s: a miss says why and the round goes on", t)
        << transport << std::vector<int>{0, 1} << 0 << std::vector<Step>{{}, {{kAnswer1}}, {}, {{kAnswer1}}}
        << QStringList{"m0", "a1", "r1", "m0", "a1", "r2"}
        << QStringList{"no answer (silence)", "no answer (silence)"} << 4;
    QTest::addRow("%s: another unit's answer is a miss", t)
        << transport << std::vector<int>{0} << 0 << std::vector<Step>{{{kAnswer1}}}
        << QStringList{"m0", "r1", "m0", "r2"}
        << QStringList{"answer from address 1", "answer from address 1"} << 2;
    QTest::addRow("%s: retries stay within the request", t)
        << transport << std::vector<int>{0} << 1 << std::vector<Step>{{}, {{kAnswer0}}, {}, {{kAnswer0}}}
        << QStringList{"a0", "r1", "a0", "r2"} << QStringList{} << 4;
  }
}

void RoundPollerTest::rounds() {
  QFETCH(ScriptedUnit::Transport, transport);
  QFETCH(std::vector<int>, addresses);
  QFETCH(int, retries);
  QFETCH(std::vector<Step>, script);
  QFETCH(QStringList, events);
  QFETCH(QStringList, reasons);
  QFETCH(int, requests);

  ScriptedUnit unit(transport);
  unit.SetScript(script);
  const auto client = OpenClient(unit);
  QVERIFY(client);
  RoundPoller rounds(*client, Settings(addresses, 2, 20, 150, retries));
  Log log;
  log.Listen(rounds);
  QSignalSpy finished(&rounds, &RoundPoller::finished);
  rounds.Start();
  QVERIFY(finished.wait(5000));
  QCOMPARE(log.events, events);
  QCOMPARE(log.reasons, reasons);
  QCOMPARE(unit.requests().size(), requests);
  QVERIFY(!unit.overlapped());
  QVERIFY(!rounds.running());
}

void RoundPollerTest::askedBetweenRounds_data() {
  QTest::addColumn<ScriptedUnit::Transport>("transport");
  QTest::newRow("pty") << ScriptedUnit::Transport::Pty;
  QTest::newRow("tcp") << ScriptedUnit::Transport::Tcp;
}

// A request asked when unit 0 answers goes out before the round's request to unit 1.
void RoundPollerTest::askedBetweenRounds() {
  QFETCH(ScriptedUnit::Transport, transport);
  ScriptedUnit unit(transport);
  unit.SetScript({{{kAnswer0}}, {{kAnswer0}}, {{kAnswer1}}});
  const auto client = OpenClient(unit);
  QVERIFY(client);
  RoundPoller rounds(*client, Settings({0, 1}, 1, 1000, 500));
  QPointer<Exchange> asked;
  QObject::connect(&rounds, &RoundPoller::answered, [&](int address, const Exchange&) {
    if (address == 0 && !asked) asked = rounds.Ask(kRequest0, {500, 0});
  });
  QSignalSpy finished(&rounds, &RoundPoller::finished);
  rounds.Start();
  QVERIFY(finished.wait(5000));
  QVERIFY(asked && asked->isFinished());
  QVERIFY2(asked->ok(), qPrintable(asked->reason()));
  QCOMPARE(unit.requests(), (QList<QByteArray>{kRequest0, kRequest0, kRequest1}));
}

// The first round's answer comes late: the second round starts when the first
// ends, and the third one interval after the second began, not at once.
void RoundPollerTest::overrunDelaysTheNextRound() {
  ScriptedUnit unit(ScriptedUnit::Transport::Pty);
  unit.SetScript({{{kAnswer0}, 300}, {{kAnswer0}}});
  const auto client = OpenClient(unit);
  QVERIFY(client);
  constexpr int kInterval = 100;
  RoundPoller rounds(*client, Settings({0}, 3, kInterval, 1000));
  QElapsedTimer clock;
  QList<qint64> sent;
  QObject::connect(&rounds, &RoundPoller::requestSent, [&] { sent << clock.elapsed(); });
  QSignalSpy finished(&rounds, &RoundPoller::finished);
  clock.start();
  rounds.Start();
  QVERIFY(finished.wait(5000));
  QCOMPARE(sent.size(), 3);
  QVERIFY2(sent[1] >= 300, qPrintable(QString::number(sent[1])));
  // A late machine only widens this gap; a doubled round would close it.
  QVERIFY2(sent[2] - sent[1] >= kInterval - 2, qPrintable(QStringLiteral("%1 %2").arg(sent[1]).arg(sent[2])));
  QCOMPARE(unit.requests().size(), 3);
}

// A serial server that hangs up after every answer: each round finds the link
// down, waits for it within its timeout, and is answered.
void RoundPollerTest::serverClosingAfterEveryAnswer() {
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  unit.SetScript({{{kAnswer0}}});
  const auto client = OpenClient(unit, 100);
  QVERIFY(client);
  RoundPoller rounds(*client, Settings({0}, 5, 100, 800));
  QObject::connect(
      &rounds, &RoundPoller::answered, &unit, [&] { unit.Drop(); }, Qt::QueuedConnection);
  Log log;
  log.Listen(rounds);
  QSignalSpy finished(&rounds, &RoundPoller::finished);
  rounds.Start();
  QVERIFY(finished.wait(10000));
  QCOMPARE(log.events, (QStringList{"a0", "r1", "a0", "r2", "a0", "r3", "a0", "r4", "a0", "r5"}));
}

// A port that is not there yet is tried again; each distinct failure is told
// once, and a request waiting for the port is answered once it opens.
void RoundPollerTest::firstOpenRetried() {
  ScriptedUnit unit(ScriptedUnit::Transport::Pty);
  unit.SetScript({{{kAnswer0}}});
  const QString path =
      QDir::temp().filePath(QStringLiteral("kvz-round-%1").arg(QCoreApplication::applicationPid()));
  QFile::remove(path);
  LinkClient client({path, 115200});
  client.SetReconnectInterval(20);
  QSignalSpy failed(&client, &LinkClient::openFailed);
  client.Open();
  QVERIFY(failed.wait(2000));
  QCOMPARE(failed.at(0).at(0).value<kelvo_link::LinkError>(), kelvo_link::LinkError::NotFound);
  QCOMPARE(client.state(), kelvo_link::LinkState::Reconnecting);
  Exchange* waiting = client.Send(kRequest0, {5000, 0});
  // The path appears, but not as a terminal: a new failure, told once.
  QTemporaryFile not_a_terminal;
  QVERIFY(not_a_terminal.open());
  QVERIFY(QFile::link(not_a_terminal.fileName(), path));
  QVERIFY(failed.wait(2000));
  QCOMPARE(failed.size(), 2);
  QCOMPARE(failed.at(1).at(0).value<kelvo_link::LinkError>(), kelvo_link::LinkError::Other);
  // Then the device itself.
  QSignalSpy done(waiting, &Exchange::finished);
  QVERIFY(QFile::remove(path) && QFile::link(unit.port(), path));
  QVERIFY(done.wait(5000));
  QFile::remove(path);
  QVERIFY2(waiting->ok(), qPrintable(waiting->reason()));
  QCOMPARE(failed.size(), 2);
}

void RoundPollerTest::defaultRequestCarriesTheHostTime() {
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  const auto client = OpenClient(unit);
  QVERIFY(client);
  RoundSettings settings = Settings({7}, 1, 100, 50);
  settings.make_request = nullptr;
  RoundPoller rounds(*client, settings);
  QSignalSpy finished(&rounds, &RoundPoller::finished);
  const qint64 before = QDateTime::currentSecsSinceEpoch();
  rounds.Start();
  QVERIFY(finished.wait(5000));
  QCOMPARE(unit.requests().size(), 1);
  // "<15" "3" "07" "42" "08" TTTTTTTT check ">": status request to unit 7.
  const QByteArray request = unit.requests().at(0);
  QVERIFY2(request.startsWith("<153074208"), request.constData());
  const qint64 host_time = request.mid(10, 8).toLongLong(nullptr, 16);
  QVERIFY(host_time >= before && host_time <= QDateTime::currentSecsSinceEpoch());
}

QTEST_GUILESS_MAIN(RoundPollerTest)
#include "round_poller_test.moc"
