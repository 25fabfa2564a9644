// The link client against a scripted unit over a real pseudo-terminal pair
// and over loopback TCP: the answer rules, one exchange at a time, opening
// failures, losing and regaining the line.
#include "link/link_client.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <memory>

#include "link/answer_rules.h"
#include "scripted_unit.h"

using kelvo_link::AnswerVerdict;
using kelvo_link::Exchange;
using kelvo_link::ExchangeResult;
using kelvo_link::LinkClient;
using kelvo_link::LinkError;
using kelvo_link_test::ScriptedUnit;
using kelvo_link_test::Step;

Q_DECLARE_METATYPE(ExchangeResult)
Q_DECLARE_METATYPE(LinkError)
Q_DECLARE_METATYPE(QList<AnswerVerdict>)

namespace {

// Worked frames: the default request (address 0, command 65, register 0026)
// and answers to it, check values worked out by hand.
const QByteArray kRequest = "<11300650400268D>";
const QByteArray kAnswer = "<15300E508002612346E>";        // address 0, E5, register 0026 = 1234
const QByteArray kBadCheck = "<15300E508002612346F>";      // the same with the check value off by one
const QByteArray kOtherAddress = "<15301E5080026123442>";  // address 1
const QByteArray kWrongCommand = "<0B300C3D5>";            // address 0, command C3, no payload
const QByteArray kBadLength = "<16300E508002612346E>";     // message length 16 on 21 characters

std::unique_ptr<LinkClient> OpenClient(const ScriptedUnit& unit, int reconnect_ms = 0) {
  auto client = std::make_unique<LinkClient>(kelvo_link::PortSettings{unit.port(), 115200});
  client->SetReconnectInterval(reconnect_ms);
  QSignalSpy open(client.get(), &LinkClient::stateChanged);
  client->Open();
  while (client->state() != LinkClient::State::Open) {
    if (!open.wait(2000)) return nullptr;
  }
  return client;
}

// Waits for the exchange's one finished().
bool Finished(Exchange* exchange, int ms = 5000) {
  if (exchange->isFinished()) return true;
  QSignalSpy done(exchange, &Exchange::finished);
  return done.wait(ms);
}

}  // namespace

class LinkClientTest : public QObject {
  Q_OBJECT

 private slots:
  void answerRules_data();
  void answerRules();
  void judgeAnswer_data();
  void judgeAnswer();
  void parsePortAddress_data();
  void parsePortAddress();
  void oneExchangeAtATime_data();
  void oneExchangeAtATime();
  void openFailures();
  void reopensAfterTcpLoss();
  void ptyClosedByTheUnit();
  void floodOfNoise();
};

void LinkClientTest::answerRules_data() {
  QTest::addColumn<ScriptedUnit::Transport>("transport");
  QTest::addColumn<std::vector<Step>>("script");
  QTest::addColumn<ExchangeResult>("result");
  QTest::addColumn<int>("attempts");
  QTest::addColumn<QString>("reason");  // start of the reason; empty when answered
  QTest::addColumn<QList<AnswerVerdict>>("verdicts");

  using enum AnswerVerdict;
  const QByteArray overlong = "<" + QByteArray(300, 'A');
  struct Row {
    const char* name;
    std::vector<Step> script;
    ExchangeResult result;
    int attempts;
    QString reason;
    QList<AnswerVerdict> verdicts;
  };
  const Row rows[] = {
      {"answer", {{{kAnswer}}}, ExchangeResult::Answered, 1, "", {Accepted}},
      {"echo first", {{{kRequest, kAnswer}}}, ExchangeResult::Answered, 1, "", {Echo, Accepted}},
      {"noise and line ends",
       {{{"\0\xFFjunk<<\r\n" + kAnswer + "\r\n"}}},
       ExchangeResult::Answered,
       1,
       "",
       {Accepted}},
      {"in pieces",
       {{{kAnswer.left(1), kAnswer.mid(1, 8), kAnswer.mid(9)}}},
       ExchangeResult::Answered,
       1,
       "",
       {Accepted}},
      {"the answer among others",
       {{{kOtherAddress, kBadCheck, kRequest, kWrongCommand, kAnswer}}},
       ExchangeResult::Answered,
       1,
       "",
       {WrongAddress, Malformed, Echo, WrongCommand, Accepted}},
      {"bad check value, then right on the retry",
       {{{kBadCheck}}, {{kAnswer}}},
       ExchangeResult::Answered,
       2,
       "",
       {Malformed, Accepted}},
      {"overlong, then the answer", {{{overlong, kAnswer}}}, ExchangeResult::Answered, 1, "", {Accepted}},
      {"a frame begun and never ended",
       {{{kAnswer.left(5)}}},
       ExchangeResult::NoAnswer,
       2,
       "incomplete answer",
       {}},
      {"bad check value",
       {{{kBadCheck}}},
       ExchangeResult::NoAnswer,
       2,
       "bad check value",
       {Malformed, Malformed}},
      {"bad length",
       {{{kBadLength}}},
       ExchangeResult::NoAnswer,
       2,
       "wrong message length",
       {Malformed, Malformed}},
      {"other address",
       {{{kOtherAddress}}},
       ExchangeResult::NoAnswer,
       2,
       "answer from address 1",
       {WrongAddress, WrongAddress}},
      {"wrong command",
       {{{kWrongCommand}}},
       ExchangeResult::NoAnswer,
       2,
       "wrong command C3",
       {WrongCommand, WrongCommand}},
      {"silence", {{}}, ExchangeResult::NoAnswer, 2, "no answer (silence)", {}},
      {"only the echo",
       {{{kRequest}}},
       ExchangeResult::NoAnswer,
       2,
       "no answer (only the echo",
       {Echo, Echo}},
      {"line dropped", {{{}, 0, true}}, ExchangeResult::LinkDown, 1, "link lost", {}},
  };
  for (const auto transport : {ScriptedUnit::Transport::Pty, ScriptedUnit::Transport::Tcp}) {
    for (const Row& row : rows) {
      const char* over = transport == ScriptedUnit::Transport::Pty ? "pty" : "tcp";
      QTest::addRow("%s: %s", over, row.name)
          << transport << row.script << row.result << row.attempts << row.reason << row.verdicts;
    }
  }
}

void LinkClientTest::answerRules() {
  QFETCH(ScriptedUnit::Transport, transport);
  QFETCH(std::vector<Step>, script);
  QFETCH(ExchangeResult, result);
  QFETCH(int, attempts);
  QFETCH(QString, reason);
  QFETCH(QList<AnswerVerdict>, verdicts);

  ScriptedUnit unit(transport);
  unit.SetScript(script);
  const auto client = OpenClient(unit);
  QVERIFY(client);
  QList<AnswerVerdict> seen;
  connect(client.get(), &LinkClient::frameSeen, this,
          [&](const QByteArray&, const QDateTime&, AnswerVerdict verdict) { seen.append(verdict); });
  QSignalSpy overlong(client.get(), &LinkClient::overlongDropped);

  Exchange* exchange = client->Send(kRequest, {150, 1});
  QVERIFY(Finished(exchange));
  QCOMPARE(exchange->result(), result);
  QCOMPARE(exchange->attempts(), attempts);
  QCOMPARE(unit.requests(), QList<QByteArray>(attempts, kRequest));
  QCOMPARE(seen, verdicts);
  if (result != ExchangeResult::Answered) {
    QVERIFY2(exchange->reason().startsWith(reason), qPrintable(exchange->reason()));
  } else {
    QCOMPARE(exchange->answer(), kAnswer);
    QVERIFY2(exchange->reason().isEmpty(), qPrintable(exchange->reason()));
    QVERIFY(exchange->latencyMs() > 0);
    QVERIFY(exchange->answeredAt().isValid());
    QCOMPARE(overlong.count(), QTest::currentDataTag() == QByteArray(transport == ScriptedUnit::Transport::Pty
                                                                         ? "pty: overlong, then the answer"
                                                                         : "tcp: overlong, then the answer")
                                   ? 1
                                   : 0);
  }
}

void LinkClientTest::judgeAnswer_data() {
  QTest::addColumn<QByteArray>("request");
  QTest::addColumn<QByteArray>("frame");
  QTest::addColumn<AnswerVerdict>("verdict");
  QTest::addColumn<QString>("text");
  QTest::newRow("accepted") << kRequest << kAnswer << AnswerVerdict::Accepted << "";
  QTest::newRow("echo") << kRequest << kRequest << AnswerVerdict::Echo << "only the echo of the request";
  QTest::newRow("bad check value") << kRequest << kBadCheck << AnswerVerdict::Malformed << "bad check value";
  QTest::newRow("lower-case hex") << kRequest << QByteArray("<15300e508002612346E>")
                                  << AnswerVerdict::Malformed << "not upper-case hex";
  QTest::newRow("other address") << kRequest << kOtherAddress << AnswerVerdict::WrongAddress
                                 << "answer from address 1";
  QTest::newRow("wrong command") << kRequest << kWrongCommand << AnswerVerdict::WrongCommand
                                 << "wrong command C3";
  // With no request in flight nothing is an answer.
  QTest::newRow("no request") << QByteArray() << kAnswer << AnswerVerdict::WrongAddress
                              << "unsolicited frame";
  QTest::newRow("longer than any frame")
      << kRequest << "<" + QByteArray(300, '0') + ">" << AnswerVerdict::Overlong << "overlong frame";
}

void LinkClientTest::judgeAnswer() {
  QFETCH(QByteArray, request);
  QFETCH(QByteArray, frame);
  QFETCH(AnswerVerdict, verdict);
  QFETCH(QString, text);
  const std::string_view req(request.constData(), static_cast<std::size_t>(request.size()));
  const std::string_view got(frame.constData(), static_cast<std::size_t>(frame.size()));
  QCOMPARE(kelvo_link::JudgeAnswer(req, got), verdict);
  QCOMPARE(kelvo_link::RejectionText(req, got, verdict), text);
}

void LinkClientTest::parsePortAddress_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<bool>("tcp");
  QTest::addColumn<QString>("where");  // path, or host
  QTest::addColumn<int>("tcp_port");
  QTest::newRow("device") << "/dev/ttyUSB0" << true << false << "/dev/ttyUSB0" << 0;
  QTest::newRow("by-id link") << "/dev/serial/by-id/usb-FTDI_x-if00-port0" << true << false
                              << "/dev/serial/by-id/usb-FTDI_x-if00-port0" << 0;
  QTest::newRow("tcp") << "tcp://192.168.1.50:4001" << true << true << "192.168.1.50" << 4001;
  QTest::newRow("tcp name, highest port")
      << "tcp://unit.local:65535" << true << true << "unit.local" << 65535;
  QTest::newRow("tcp ipv6") << "tcp://[::1]:4001" << true << true << "::1" << 4001;
  QTest::newRow("empty") << "" << false << false << "" << 0;
  QTest::newRow("no host") << "tcp://" << false << false << "" << 0;
  QTest::newRow("no port") << "tcp://host" << false << false << "" << 0;
  QTest::newRow("port 0") << "tcp://h:0" << false << false << "" << 0;
  QTest::newRow("port too high") << "tcp://h:65536" << false << false << "" << 0;
  QTest::newRow("port with a sign") << "tcp://h:+80" << false << false << "" << 0;
  QTest::newRow("blank host") << "tcp:// :80" << false << false << "" << 0;
}

void LinkClientTest::parsePortAddress() {
  QFETCH(QString, text);
  QFETCH(bool, ok);
  QFETCH(bool, tcp);
  QFETCH(QString, where);
  QFETCH(int, tcp_port);
  QString why;
  const auto address = kelvo_link::ParsePortAddress(text, &why);
  QCOMPARE(address.has_value(), ok);
  if (!ok) {
    QVERIFY(!why.isEmpty());
    return;
  }
  QCOMPARE(address->tcp, tcp);
  QCOMPARE(tcp ? address->host : address->path, where);
  QCOMPARE(int(address->tcp_port), tcp_port);
}

void LinkClientTest::oneExchangeAtATime_data() {
  QTest::addColumn<ScriptedUnit::Transport>("transport");
  QTest::newRow("pty") << ScriptedUnit::Transport::Pty;
  QTest::newRow("tcp") << ScriptedUnit::Transport::Tcp;
}

// Three requests sent at once reach a slow unit one after another, each only
// once the last was answered; a fourth is cancelled by Close.
void LinkClientTest::oneExchangeAtATime() {
  QFETCH(ScriptedUnit::Transport, transport);
  ScriptedUnit unit(transport);
  unit.SetScript({{{kAnswer}, 20}, {{kOtherAddress}, 20}, {{kAnswer}, 20}});
  const auto client = OpenClient(unit);
  QVERIFY(client);
  const QByteArray requests[] = {kRequest, "<113016504002638>", kRequest};
  QList<Exchange*> exchanges;
  QList<int> finish_order;
  for (int i = 0; i < 3; ++i) {
    exchanges.append(client->Send(requests[i], {1000, 0}));
    connect(exchanges.back(), &Exchange::finished, this, [&finish_order, i] { finish_order.append(i); });
  }
  QCOMPARE(client->queued(), 2);  // the first is in flight at once
  for (Exchange* exchange : exchanges) QVERIFY(Finished(exchange));
  QCOMPARE(finish_order, QList<int>({0, 1, 2}));
  QCOMPARE(unit.requests(), QList<QByteArray>(std::begin(requests), std::end(requests)));
  QVERIFY(!unit.overlapped());
  for (Exchange* exchange : exchanges) QVERIFY2(exchange->ok(), qPrintable(exchange->reason()));
  QCOMPARE(exchanges[1]->answer(), kOtherAddress);  // address 1 asked this time

  Exchange* cancelled = client->Send(kRequest);
  client->Close();
  QVERIFY(Finished(cancelled));
  QCOMPARE(cancelled->result(), ExchangeResult::Cancelled);
}

void LinkClientTest::openFailures() {
  struct Case {
    QString port;
    LinkError error;
  };
  std::vector<Case> cases;
  cases.push_back({"/dev/kvz-no-such-device", LinkError::NotFound});
  {
    QTcpServer closed;  // a port that was free a moment ago
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    cases.push_back({QStringLiteral("tcp://127.0.0.1:%1").arg(closed.serverPort()), LinkError::Refused});
  }
  ScriptedUnit unit(ScriptedUnit::Transport::Pty);
  const auto holder = OpenClient(unit);  // a second client finds the device busy
  QVERIFY(holder);
  cases.push_back({unit.port(), LinkError::Busy});
  ScriptedUnit locked(ScriptedUnit::Transport::Pty);
  if (::geteuid() != 0) {  // root opens whatever the permissions say
    QCOMPARE(::chmod(locked.port().toLocal8Bit().constData(), 0), 0);
    cases.push_back({locked.port(), LinkError::PermissionDenied});
  }
  for (const Case& c : cases) {
    LinkClient client({c.port, 9600});
    client.SetReconnectInterval(0);  // with reopening on, the open is tried again (round poller tests)
    QSignalSpy failed(&client, &LinkClient::openFailed);
    client.Open();
    Exchange* waiting = client.Send(kRequest);  // queued before the failure: it finishes LinkDown
    QVERIFY2(failed.wait(3000), qPrintable(c.port));
    QCOMPARE(failed.at(0).at(0).value<LinkError>(), c.error);
    const QString message = failed.at(0).at(1).toString();
    QVERIFY2(message.startsWith(c.port), qPrintable(message));
    if (c.error == LinkError::PermissionDenied) QVERIFY(message.contains("dialout"));
    QCOMPARE(client.state(), LinkClient::State::Closed);
    QVERIFY(Finished(waiting));
    QCOMPARE(waiting->result(), ExchangeResult::LinkDown);
  }
}

// The server drops the connection: the exchange in flight finishes LinkDown,
// the client reconnects on its own and the next exchange is answered.
void LinkClientTest::reopensAfterTcpLoss() {
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  unit.SetScript({{{}, 0, true}, {{kAnswer}}});
  const auto client = OpenClient(unit, 50);
  QVERIFY(client);
  QSignalSpy lost(client.get(), &LinkClient::linkLost);
  QSignalSpy states(client.get(), &LinkClient::stateChanged);
  Exchange* first = client->Send(kRequest);
  QVERIFY(Finished(first));
  QCOMPARE(first->result(), ExchangeResult::LinkDown);
  QCOMPARE(lost.count(), 1);
  QVERIFY(lost.at(0).at(0).toString().startsWith(unit.port()));
  QTRY_COMPARE_WITH_TIMEOUT(client->state(), LinkClient::State::Open, 3000);
  QCOMPARE(states.at(0).at(0).value<LinkClient::State>(), LinkClient::State::Reconnecting);
  Exchange* second = client->Send(kRequest);
  QVERIFY(Finished(second));
  QVERIFY2(second->ok(), qPrintable(second->reason()));
}

// Closing the master makes the client's next read fail: a loss, never a
// port left open and silent. With reopening off, later requests finish
// LinkDown at once.
void LinkClientTest::ptyClosedByTheUnit() {
  ScriptedUnit unit(ScriptedUnit::Transport::Pty);
  const auto client = OpenClient(unit);
  QVERIFY(client);
  QSignalSpy lost(client.get(), &LinkClient::linkLost);
  Exchange* waiting = client->Send(kRequest, {5000, 0});
  QSignalSpy seen(&unit, &ScriptedUnit::requestSeen);
  QVERIFY(seen.wait(2000));
  unit.Drop();
  QVERIFY(Finished(waiting, 3000));
  QCOMPARE(waiting->result(), ExchangeResult::LinkDown);
  QCOMPARE(lost.count(), 1);
  QVERIFY2(lost.at(0).at(0).toString().endsWith("the other end closed the port"),
           qPrintable(lost.at(0).at(0).toString()));
  QCOMPARE(client->state(), LinkClient::State::Closed);
  Exchange* after = client->Send(kRequest);
  QVERIFY(Finished(after));
  QCOMPARE(after->result(), ExchangeResult::LinkDown);
}

// A megabyte of noise with "<" and no ">" costs no more than one frame's room
// and leaves the line usable.
void LinkClientTest::floodOfNoise() {
  ScriptedUnit unit(ScriptedUnit::Transport::Pty);
  QByteArray flood;
  while (flood.size() < (1 << 20)) flood += "<0123456789ABCDEF\x01\xFE" + QByteArray(1000, 'A');
  unit.SetScript({{{flood, kAnswer}}});
  const auto client = OpenClient(unit);
  QVERIFY(client);
  QSignalSpy overlong(client.get(), &LinkClient::overlongDropped);
  Exchange* exchange = client->Send(kRequest, {10000, 0});
  QVERIFY(Finished(exchange, 15000));
  QVERIFY2(exchange->ok(), qPrintable(exchange->reason()));
  QVERIFY(overlong.count() > 1000);
}

QTEST_GUILESS_MAIN(LinkClientTest)
#include "link_client_test.moc"
