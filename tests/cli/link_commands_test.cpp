// Drives the real kelvo-frame send, poll, listen and ports against a scripted
// unit on a pseudo-terminal pair or loopback TCP: output, exit status, signals.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include "link/link_client.h"
#include "scripted_unit.h"

using kelvo_link_test::ScriptedUnit;
using kelvo_link_test::Step;

namespace {

const QByteArray kRequest = "<11300650400268D>";
const QByteArray kAnswer = "<15300E508002612346E>";        // address 0, E5, register 0026 = 1234
const QByteArray kOtherAddress = "<15301E5080026123442>";  // the same from address 1
const QByteArray kBadCheck = "<15300E508002612346F>";
// A 0xC2 answer of the simulated unit at address 0: 52.54 V, 18.00 A
// discharging, cells from 3.279 V, 28 to 30 °C.
const QByteArray kStatusAnswer =
    "<BB300C2AE6B19623400C8611486100CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD50000070804"
    "4445464400000000000200000000030000000000000000000000780077500F2812F212D416A816BC70>";
const QString kAnswerText = QStringLiteral(
    "<(开始字符)15(数据报文长度)3(版本)00(地址)E5(命令字)08(数据负载长度)0026(寄存器地址)1234(寄存器值)6E("
    "校验值)>"
    "(结束标识)\n");

struct Run {
  int status = -1;
  QString out;
  QString err;
};

// Starts kelvo-frame; the event loop keeps running (the scripted unit lives on it).
std::unique_ptr<QProcess> Start(const QStringList& args) {
  auto process = std::make_unique<QProcess>();
  process->start(QStringLiteral(KELVO_FRAME_PATH), args);
  return process;
}

Run Finish(QProcess& process, int ms = 15000) {
  if (process.state() != QProcess::NotRunning) {
    QSignalSpy done(&process, &QProcess::finished);
    if (!done.wait(ms)) process.kill();
  }
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

Run RunKelvoFrame(const QStringList& args) {
  const auto process = Start(args);
  return Finish(*process);
}

// Reads standard output until it holds `lines` whole lines.
bool WaitForLines(QProcess& process, QByteArray& out, int lines) {
  QSignalSpy ready(&process, &QProcess::readyReadStandardOutput);
  while (out.count('\n') < lines) {
    out += process.readAllStandardOutput();
    if (out.count('\n') >= lines) break;
    if (!ready.wait(10000)) return false;
  }
  return true;
}

}  // namespace

class LinkCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void send_data();
  void send();
  void exitStatuses_data();
  void exitStatuses();
  void busyAndDenied();
  void pollCsvOverAddresses();
  void pollHostTimeAndFailures();
  void pollStopsOnSignalWithWholeRecords();
  void pollGoesOnAfterLinkLoss();
  void forcedAndDefaultPayloads();
  void outputThatCannotBeWritten();
  void interrupted();
  void listenKeepsFramesOnTheirLine();
  void listen();
  void profile_data();
  void profile();
  void listenValues();
  void ports();
};

void LinkCommandsTest::send_data() {
  QTest::addColumn<ScriptedUnit::Transport>("transport");
  QTest::addColumn<std::vector<Step>>("script");
  QTest::addColumn<QStringList>("options");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("out");
  QTest::addColumn<QString>("err");  // must appear in standard error
  const auto pty = ScriptedUnit::Transport::Pty;
  const auto tcp = ScriptedUnit::Transport::Tcp;
  QTest::newRow("answer, pty") << pty << std::vector<Step>{{{"\r\n" + kAnswer + "\r\n"}}} << QStringList()
                               << 0 << kAnswerText << "";
  QTest::newRow("answer after echo, tcp")
      << tcp << std::vector<Step>{{{kRequest, kAnswer}}} << QStringList() << 0 << kAnswerText << "";
  QTest::newRow("silence") << pty << std::vector<Step>{{}}
                           << QStringList{"--timeout", "100", "--retries", "1"} << 1 << ""
                           << "no valid answer after 2 attempts: no answer (silence)";
  QTest::newRow("bad check value") << tcp << std::vector<Step>{{{kBadCheck}}}
                                   << QStringList{"--timeout", "100", "--retries", "0"} << 1 << ""
                                   << "no valid answer after 1 attempt: bad check value";
  QTest::newRow("other address") << pty << std::vector<Step>{{{kOtherAddress}}}
                                 << QStringList{"--timeout", "100", "--retries", "0"} << 1 << ""
                                 << "answer from address 1";
  QTest::newRow("line dropped") << tcp << std::vector<Step>{{{}, 0, true}} << QStringList() << 3 << ""
                                << "link lost";
}

void LinkCommandsTest::send() {
  QFETCH(ScriptedUnit::Transport, transport);
  QFETCH(std::vector<Step>, script);
  QFETCH(QStringList, options);
  QFETCH(int, status);
  QFETCH(QString, out);
  QFETCH(QString, err);
  ScriptedUnit unit(transport);
  unit.SetScript(script);
  const Run run =
      RunKelvoFrame(QStringList{"send", "--port", unit.port()} + options + QStringList{"0", "65", "0026"});
  QCOMPARE(run.status, status);
  QCOMPARE(run.out, out);
  QVERIFY2(run.err.contains(err), qPrintable(run.err));
  QVERIFY(!unit.requests().isEmpty());
  QCOMPARE(unit.requests().front(), kRequest);
}

void LinkCommandsTest::exitStatuses_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("err");
  QTcpServer closed;  // a port that was free a moment ago
  QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
  const QString refused = QStringLiteral("tcp://127.0.0.1:%1").arg(closed.serverPort());
  closed.close();
  QTest::newRow("send, no such device")
      << QStringList{"send", "--port", "/dev/kvz-missing", "0", "65", "0026"} << 3
      << "/dev/kvz-missing: no such device";
  QTest::newRow("send, refused") << QStringList{"send", "--port", refused, "0", "65", "0026"} << 3
                                 << refused + ": connection refused";
  QTest::newRow("poll, no such device") << QStringList{"poll", "--port", "/dev/kvz-missing", "65", "0026"}
                                        << 3 << "/dev/kvz-missing: no such device";
  QTest::newRow("listen, refused") << QStringList{"listen", "--port", refused} << 3 << "connection refused";
  QTest::newRow("timeout not a number")
      << QStringList{"send", "--port", "/dev/null", "--timeout", "abc", "0", "65"} << 2
      << "Usage: kelvo-frame send";
  QTest::newRow("no port") << QStringList{"send", "0", "65"} << 2 << "--port is required";
  QTest::newRow("tcp port 0") << QStringList{"send", "--port", "tcp://h:0", "0", "65"} << 2 << "1-65535";
  QTest::newRow("payload too long") << QStringList{"send", "--port", "/dev/null",
                                                   "0",    "65",     QString(240, 'A')}
                                    << 2 << "length error, too long!!";
  QTest::newRow("poll payload too long")
      << QStringList{"poll", "--port", "/dev/null", "65", QString(240, 'A')} << 2
      << "length error, too long!!";
  QTest::newRow("address list with a gap")
      << QStringList{"poll", "--port", "/dev/null", "--address", "1,,2", "65"} << 2
      << "Usage: kelvo-frame poll";
  QTest::newRow("address over 255") << QStringList{"poll", "--port", "/dev/null", "--address", "256", "65"}
                                    << 2 << "Usage:";
  QTest::newRow("unknown format") << QStringList{"poll", "--port", "/dev/null", "--format", "xml", "65"} << 2
                                  << "Usage:";
  QTest::newRow("count 0") << QStringList{"poll", "--port", "/dev/null", "--count", "0", "65"} << 2
                           << "Usage:";
  // Requests the unit could only meet with silence are refused before sending.
  const struct {
    const char* name;
    QStringList args;
    const char* err;
  } refused_requests[] = {
      {"send, address 256", {"256", "65", "0026"}, "not an address 0-255: 256"},
      {"send, address -1", {"-1", "65", "0026"}, "not an address 0-255: -1"},
      {"send, odd payload", {"0", "65", "002"}, "odd number of characters"},
      {"send, payload not hex", {"0", "65", "00zz"}, "not upper-case hexadecimal"},
      {"send, no payload for 65", {"0", "65"}, "payload ends inside"},
      {"send, more registers than the count says", {"0", "66", "00260027"}, "layout of command 66"},
      {"send, device information cut short", {"0", "48", "01"}, "payload ends inside"},
      {"send, command not hex", {"0", "zz", "0026"}, "not a command code of 1 or 2 hex digits: zz"},
      {"send, command of three digits", {"0", "165", "0026"}, "not a command code of 1 or 2 hex digits: 165"},
  };
  for (const auto& row : refused_requests) {
    QTest::newRow(row.name) << QStringList{"send", "--port", "/dev/null"} + row.args << 2 << row.err;
  }
  // Paths that exist but are no serial port say what they are.
  const struct {
    const char* name;
    QString path;
    const char* err;
  } not_ports[] = {
      {"a regular file", QStringLiteral(KELVO_FRAME_PATH), "a regular file, not a serial port"},
      {"a directory", QStringLiteral("/"), "a directory, not a serial port"},
      {"a device that is no terminal", QStringLiteral("/dev/null"), "a device that is not a serial port"},
  };
  for (const auto& row : not_ports) {
    QTest::newRow(row.name) << QStringList{"send", "--port", row.path, "0", "65", "0026"} << 3 << row.err;
  }
  QTest::newRow("poll, odd payload") << QStringList{"poll", "--port", "/dev/null", "65", "002"} << 2
                                     << "--force sends it as it is";
}

void LinkCommandsTest::exitStatuses() {
  QFETCH(QStringList, args);
  QFETCH(int, status);
  QFETCH(QString, err);
  const Run run = RunKelvoFrame(args);
  QCOMPARE(run.status, status);
  QVERIFY2(run.err.contains(err), qPrintable(run.err));
  QCOMPARE(run.out, QString());
}

void LinkCommandsTest::busyAndDenied() {
  ScriptedUnit unit(ScriptedUnit::Transport::Pty);
  kelvo_link::LinkClient holder({unit.port(), 9600});
  QSignalSpy opened(&holder, &kelvo_link::LinkClient::stateChanged);
  holder.Open();
  QTRY_COMPARE(holder.state(), kelvo_link::LinkClient::State::Open);
  Run run = RunKelvoFrame({"send", "--port", unit.port(), "0", "65", "0026"});
  QCOMPARE(run.status, 3);
  QVERIFY2(run.err.contains(unit.port() + ": busy"), qPrintable(run.err));

  if (::geteuid() == 0) QSKIP("root opens a device whatever its permissions say");
  ScriptedUnit locked(ScriptedUnit::Transport::Pty);
  QCOMPARE(::chmod(locked.port().toLocal8Bit().constData(), 0), 0);
  run = RunKelvoFrame({"send", "--port", locked.port(), "0", "65", "0026"});
  QCOMPARE(run.status, 3);
  QVERIFY2(run.err.contains("permission denied") && run.err.contains("dialout"), qPrintable(run.err));
}

// Two rounds over two addresses, in order, one CSV row per answer.
void LinkCommandsTest::pollCsvOverAddresses() {
  ScriptedUnit unit(ScriptedUnit::Transport::Pty);
  unit.SetScript({{{kAnswer}}, {{kOtherAddress}}, {{kAnswer}}, {{kOtherAddress}}});
  const Run run = RunKelvoFrame({"poll", "--port", unit.port(), "--count", "2", "--interval", "50",
                                 "--address", "0,1", "--format", "csv", "65", "0026"});
  QCOMPARE(run.status, 0);
  const QStringList lines = run.out.split('\n');
  QCOMPARE(lines.size(), 6);  // header, four rows, the empty rest after the last line end
  QCOMPARE(lines[0], "time,address,寄存器地址,寄存器值");
  const QStringList addresses{"0", "1", "0", "1"};
  for (int i = 0; i < 4; ++i) {
    const QStringList cells = lines[i + 1].split(',');
    QCOMPARE(cells.size(), 4);
    QVERIFY2(QDateTime::fromString(cells[0], Qt::ISODateWithMs).isValid(), qPrintable(cells[0]));
    QCOMPARE(cells.mid(1), (QStringList{addresses[i], "38", "4660"}));
  }
  QCOMPARE(unit.requests(),
           (QList<QByteArray>{kRequest, "<113016504002638>", kRequest, "<113016504002638>"}));
  QVERIFY2(run.err.contains("4 requests, 4 answered, 0 failed; latency p50 "), qPrintable(run.err));
}

// 42 without a payload carries the host's clock; a request without an answer
// is reported and counted, and the status says so.
void LinkCommandsTest::pollHostTimeAndFailures() {
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  const qint64 before = QDateTime::currentSecsSinceEpoch();
  const Run run = RunKelvoFrame({"poll", "--port", unit.port(), "--count", "2", "--interval", "50",
                                 "--timeout", "50", "--retries", "0", "42"});
  const qint64 after = QDateTime::currentSecsSinceEpoch();
  QCOMPARE(run.status, 1);
  QCOMPARE(run.out, QString());
  QCOMPARE(run.err.count("address 0: no answer (silence)"), 2);
  QVERIFY2(run.err.contains("2 requests, 0 answered, 2 failed\n"), qPrintable(run.err));
  QCOMPARE(unit.requests().size(), 2);
  for (const QByteArray& request : unit.requests()) {
    // "<" length "3" address "42" "08" then 8 hex digits of Unix time.
    QCOMPARE(request.left(10), QByteArray("<153004208"));
    bool ok = false;
    const qint64 sent = request.mid(10, 8).toLongLong(&ok, 16);
    QVERIFY(ok);
    QVERIFY(sent >= before && sent <= after);
  }
}

// SIGINT between records: every record written is whole, then the summary.
void LinkCommandsTest::pollStopsOnSignalWithWholeRecords() {
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  unit.SetScript({{{kAnswer}}});
  const auto poll =
      Start({"poll", "--port", unit.port(), "--interval", "20", "--format", "json", "65", "0026"});
  QByteArray out;
  QVERIFY(WaitForLines(*poll, out, 3));
  ::kill(static_cast<pid_t>(poll->processId()), SIGINT);
  Run run = Finish(*poll);
  run.out.prepend(QString::fromUtf8(out));
  QCOMPARE(run.status, 0);
  QVERIFY(run.out.endsWith('\n'));
  const QStringList lines = run.out.trimmed().split('\n');
  for (const QString& line : lines) {
    QJsonParseError error{};
    const QJsonObject record = QJsonDocument::fromJson(line.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(record.keys().size(), 5);
    QCOMPARE(record["frame"].toString(), QString::fromLatin1(kAnswer));
    QCOMPARE(record["address"].toInt(), 0);
    QVERIFY(record["latency_ms"].toDouble() > 0);
    QCOMPARE(record["items"].toArray().size(), 10);
  }
  QVERIFY2(run.err.contains(QStringLiteral("%1 requests, %1 answered, 0 failed").arg(lines.size())),
           qPrintable(run.err));
}

// The server drops the line on the second request: poll says so, reconnects,
// and goes on to its last round.
void LinkCommandsTest::pollGoesOnAfterLinkLoss() {
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  unit.SetScript({{{kAnswer}}, {{}, 0, true}, {{kAnswer}}});
  const Run run =
      RunKelvoFrame({"poll", "--port", unit.port(), "--count", "4", "--interval", "100", "65", "0026"});
  QCOMPARE(run.status, 1);
  QVERIFY2(run.err.contains("link lost: " + unit.port()), qPrintable(run.err));
  QVERIFY2(run.err.contains("link back: " + unit.port()), qPrintable(run.err));
  QVERIFY2(run.out.count('\n') >= 2, qPrintable(run.out));
  QVERIFY2(run.err.contains("4 requests, "), qPrintable(run.err));
  // The round the loss cut short has its line too.
  QVERIFY2(run.err.contains("address 0: link lost: " + unit.port()), qPrintable(run.err));
}

// --force sends a malformed request as it stands; 42 without a payload carries the host time.
void LinkCommandsTest::forcedAndDefaultPayloads() {
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  const Run forced = RunKelvoFrame(
      {"send", "--port", unit.port(), "--force", "--timeout", "50", "--retries", "0", "0", "65", "002"});
  QCOMPARE(forced.status, 1);
  const qint64 before = QDateTime::currentSecsSinceEpoch();
  const Run status =
      RunKelvoFrame({"send", "--port", unit.port(), "--timeout", "50", "--retries", "0", "0", "42"});
  QCOMPARE(status.status, 1);
  QCOMPARE(unit.requests().size(), 2);
  QCOMPARE(unit.requests().at(0), QByteArray("<103006503002AF>"));
  const QByteArray request = unit.requests().at(1);
  QCOMPARE(request.left(10), QByteArray("<153004208"));
  const qint64 sent = request.mid(10, 8).toLongLong(nullptr, 16);
  QVERIFY(sent >= before && sent <= QDateTime::currentSecsSinceEpoch());
}

// Results that cannot be written end the command with its own message and
// status 4; poll still says its summary.
void LinkCommandsTest::outputThatCannotBeWritten() {
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  unit.SetScript({{{kAnswer}}});
  for (const QStringList& args :
       {QStringList{"send", "--port", unit.port(), "0", "65", "0026"},
        QStringList{"poll", "--port", unit.port(), "--count", "3", "--interval", "20", "65", "0026"}}) {
    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(KELVO_FRAME_PATH), args);
    const Run run = Finish(process);
    QCOMPARE(run.status, 4);
    QVERIFY2(run.err.contains("cannot write to standard output: No space left on device"),
             qPrintable(run.err));
    QVERIFY2(!run.err.contains("exception"), qPrintable(run.err));
    if (args.front() == "poll") QVERIFY2(run.err.contains("1 request, 1 answered"), qPrintable(run.err));
  }
}

// A signal while a request is out: send says it was interrupted (128 + the
// signal), poll counts the request it cut short.
void LinkCommandsTest::interrupted() {
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  for (const char* command : {"send", "poll"}) {
    QSignalSpy seen(&unit, &ScriptedUnit::requestSeen);
    const auto process = std::string_view(command) == "send"
                             ? Start({"send", "--port", unit.port(), "--timeout", "10000", "0", "65", "0026"})
                             : Start({"poll", "--port", unit.port(), "--timeout", "10000", "65", "0026"});
    QVERIFY(seen.wait(5000));
    ::kill(static_cast<pid_t>(process->processId()), SIGINT);
    const Run run = Finish(*process);
    if (std::string_view(command) == "send") {
      QCOMPARE(run.status, 128 + SIGINT);
      QVERIFY2(run.err.contains("interrupted"), qPrintable(run.err));
    } else {
      QCOMPARE(run.status, 1);
      QVERIFY2(run.err.contains("1 request, 0 answered, 1 failed"), qPrintable(run.err));
    }
  }
}

// Line ends inside a frame are escaped in the log and read back by check as
// the same frame; on a terminal every control character is escaped.
void LinkCommandsTest::listenKeepsFramesOnTheirLine() {
  const QByteArray frame = "<1\x1b[2J\x1b]0;x\x07\r\n5>";  // clears a screen, sets a title, breaks a line
  for (const bool terminal : {false, true}) {
    ScriptedUnit unit(ScriptedUnit::Transport::Pty);
    int master = -1;
    int slave = -1;
    QVERIFY(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    QProcess listener;
    if (terminal) listener.setStandardOutputFile(QString::fromLocal8Bit(::ttyname(slave)));
    listener.start(QStringLiteral(KELVO_FRAME_PATH), {"listen", "--port", unit.port()});
    QByteArray out;
    while (!out.contains('\n')) {
      unit.Write(frame + "\r\n");
      if (terminal) {
        QTest::qWait(50);
        char buffer[4096];
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got > 0) out.append(buffer, got);
      } else {
        listener.waitForReadyRead(200);
        out += listener.readAllStandardOutput();
      }
      QVERIFY(listener.state() != QProcess::NotRunning);
    }
    ::kill(static_cast<pid_t>(listener.processId()), SIGTERM);
    QVERIFY(listener.waitForFinished(5000));
    ::close(master);
    ::close(slave);
    const QByteArray line = out.left(out.indexOf('\n'));
    QVERIFY2(!line.contains('\r'), line.constData());
    QVERIFY2(line.contains("\\x0D\\x0A5>"), line.constData());
    QCOMPARE(line.contains('\x1b'), !terminal);
    if (terminal) continue;
    // check reads the log line as the frame that was on the line.
    QProcess check;
    check.start(QStringLiteral(KELVO_FRAME_PATH), {"check"});
    check.write(line + '\n');
    check.closeWriteChannel();
    QVERIFY(check.waitForFinished(5000));
    const Run direct = RunKelvoFrame({"check", QString::fromLatin1(frame)});
    QCOMPARE(QString::fromUtf8(check.readAllStandardOutput()), "line 1: " + direct.out);
  }
}

void LinkCommandsTest::listen() {
  for (const bool json : {false, true}) {
    ScriptedUnit unit(ScriptedUnit::Transport::Pty);
    QStringList args{"listen", "--port", unit.port()};
    if (json) args << "--json";
    const auto listener = Start(args);
    // Keep writing until the listener has the port open and reports.
    QSignalSpy ready(listener.get(), &QProcess::readyReadStandardOutput);
    QByteArray out;
    while (out.count('\n') < 2) {
      unit.Write("noise " + kRequest + "\r\n" + kBadCheck + "\r\n");
      ready.wait(200);
      out += listener->readAllStandardOutput();
      QVERIFY(listener->state() != QProcess::NotRunning);
    }
    ::kill(static_cast<pid_t>(listener->processId()), SIGTERM);
    Run run = Finish(*listener);
    QCOMPARE(run.status, 0);
    const QStringList lines = QString::fromUtf8(out + run.out.toUtf8()).trimmed().split('\n');
    for (int i = 0; i < 2; ++i) {
      const QString& line = lines[i];
      if (!json) {
        const QString expected =
            i == 0 ? " " + kRequest + " ok" : " " + kBadCheck + " check value: computed 6E, received 6F";
        QVERIFY2(line.endsWith(expected), qPrintable(line));
        QVERIFY(QDateTime::fromString(line.section(' ', 0, 0), Qt::ISODateWithMs).isValid());
        continue;
      }
      const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
      QCOMPARE(object.keys(), (QStringList{"findings", "frame", "items", "time"}));
      QCOMPARE(object["frame"].toString(), QString::fromLatin1(i == 0 ? kRequest : kBadCheck));
      const QJsonArray findings = object["findings"].toArray();
      if (i == 0) {
        QVERIFY(findings.isEmpty());
      } else {
        QCOMPARE(findings.size(), 1);
        QCOMPARE(findings[0].toObject()["fault"].toString(), "check_value");
        QCOMPARE(findings[0].toObject()["expected"].toInt(), 0x6E);
        QCOMPARE(findings[0].toObject()["actual"].toInt(), 0x6F);
      }
    }
  }
}

// --profile on send and poll: "values" in JSON, keys and units in csv and
// text only when a profile is named; a refused profile stops the command.
void LinkCommandsTest::profile_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("out");     // must appear in standard output
  QTest::addColumn<QString>("absent");  // must not
  QTest::addColumn<QString>("err");     // must appear in standard error
  const QString profile = QStringLiteral(KVZ_DEFAULT_PROFILE);
  const QStringList poll{"poll", "--count", "1", "--interval", "50"};
  QTest::newRow("send json, default profile")
      << QStringList{"send", "--json", "0", "42"} << 0
      << R"(}],"values":{"device_time":1796825652,"cycle_time":200,"soh":97,"total_voltage":52.54,)"
      << ""
      << "";
  QTest::newRow("send json, none") << QStringList{"send", "--json", "--profile", "none", "0", "42"} << 0
                                   << R"("label":"结束标识"}]})"
                                   << "values"
                                   << "";
  QTest::newRow("poll json, derived values")
      << poll + QStringList{"--format", "json", "42"} << 0
      << R"("current":-18.0,"power":-945.72,"cell_min":3.279,"cell_max":3.289,"cell_spread":0.01,)"
         R"("cell_min_cell":1,"cell_max_cell":4,"temperature_min":28,"temperature_max":30}})"
      << ""
      << "";
  QTest::newRow("poll csv, profile named")
      << poll + QStringList{"--format", "csv", "--profile", profile, "42"} << 0
      << "time,address,device_time,cycle_time[ms],soh[%],total_voltage[V],cell_count,cell_voltages[1][V],"
         "cell_voltages[2][V],cell_voltages[3][V],"
      << "总电压"
      << "";
  QTest::newRow("poll csv row, profile named")
      << poll + QStringList{"--format", "csv", "--profile", profile, "42"} << 0
      << ",0,1796825652,200,97,52.54,16,3.279,3.286,3.282,"
      << ""
      << "";
  QTest::newRow("poll csv, default profile: labels")
      << poll + QStringList{"--format", "csv", "42"} << 0 << "time,address,设备时间,工作循环耗时,SOH,总电压,"
      << "total_voltage"
      << "";
  QTest::newRow("poll text, profile named")
      << poll + QStringList{"--profile", profile, "42"} << 0
      << " total_voltage[V]=52.54 cell_count=16 cell_voltages[V]=[3.279,3.286,"
      << "总电压"
      << "";
  QTest::newRow("send, no such profile")
      << QStringList{"send", "--profile", "/nonexistent/site.toml", "0", "42"} << 2 << ""
      << ""
      << "kelvo-frame: /nonexistent/site.toml: cannot read the profile";
  QTest::newRow("poll, refused profile") << poll + QStringList{"--profile", "BAD", "42"} << 2 << ""
                                         << ""
                                         << R"(site.toml: line 3: unknown key "scal" in [field.volts])";
}

void LinkCommandsTest::profile() {
  QFETCH(QStringList, args);
  QFETCH(int, status);
  QFETCH(QString, out);
  QFETCH(QString, absent);
  QFETCH(QString, err);
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QFile bad(dir.filePath("site.toml"));
  QVERIFY(bad.open(QIODevice::WriteOnly));
  bad.write("[field.volts]\nlabel = \"总电压\"\nscal = 0.01\n");
  bad.close();
  args.replaceInStrings("BAD", bad.fileName());
  ScriptedUnit unit(ScriptedUnit::Transport::Tcp);
  unit.SetScript({{{kStatusAnswer}}});
  const Run run = RunKelvoFrame(QStringList{args.front(), "--port", unit.port()} + args.mid(1));
  QCOMPARE(run.status, status);
  QVERIFY2(run.out.contains(out), qPrintable(run.out));
  QVERIFY2(absent.isEmpty() || !run.out.contains(absent), qPrintable(run.out));
  QVERIFY2(run.err.contains(err), qPrintable(run.err));
  // A refused profile is refused before the port is opened.
  if (status == 2) QVERIFY(unit.requests().isEmpty());
}

// listen --json: an answer gains values, a request does not.
void LinkCommandsTest::listenValues() {
  ScriptedUnit unit(ScriptedUnit::Transport::Pty);
  const auto listener = Start({"listen", "--port", unit.port(), "--json"});
  QSignalSpy ready(listener.get(), &QProcess::readyReadStandardOutput);
  QByteArray out;
  while (out.count('\n') < 2) {
    unit.Write(kRequest + "\r\n" + kStatusAnswer + "\r\n");
    ready.wait(200);
    out += listener->readAllStandardOutput();
    QVERIFY(listener->state() != QProcess::NotRunning);
  }
  ::kill(static_cast<pid_t>(listener->processId()), SIGTERM);
  QCOMPARE(Finish(*listener).status, 0);
  const QList<QByteArray> lines = out.split('\n');
  const QJsonObject request = QJsonDocument::fromJson(lines[0]).object();
  const QJsonObject answer = QJsonDocument::fromJson(lines[1]).object();
  QCOMPARE(request["frame"].toString(), QString::fromLatin1(kRequest));
  QVERIFY(!request.contains("values"));
  QCOMPARE(answer["frame"].toString(), QString::fromLatin1(kStatusAnswer));
  QCOMPARE(answer["values"].toObject()["total_voltage"].toDouble(), 52.54);
  QCOMPARE(answer["values"].toObject()["current_state_flags"].toArray(), QJsonArray{"discharging"});
}

void LinkCommandsTest::ports() {
  const Run text = RunKelvoFrame({"ports"});
  QCOMPARE(text.status, 0);
  const Run json = RunKelvoFrame({"ports", "--json"});
  QCOMPARE(json.status, 0);
  QJsonParseError error{};
  const QJsonDocument list = QJsonDocument::fromJson(json.out.toUtf8(), &error);
  QCOMPARE(error.error, QJsonParseError::NoError);
  QVERIFY(list.isArray());
  QCOMPARE(text.out.count('\n'), list.array().size());
  for (const QJsonValue& port : list.array()) {
    QCOMPARE(port.toObject().keys(),
             (QStringList{"description", "manufacturer", "path", "pid", "serial", "vid"}));
    QVERIFY(port["path"].toString().startsWith("/dev/"));
    QVERIFY(port["vid"].isNull() || port["vid"].isDouble());
  }
}

QTEST_GUILESS_MAIN(LinkCommandsTest)
#include "link_commands_test.moc"
