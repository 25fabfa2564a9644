// The simulated unit on the wire: a pseudo-terminal it creates, a serial
// device it opens, and loopback TCP with several clients. Every wait ends on
// data arriving (or a deadline when it never does), never on a fixed sleep.
#include "sim/unit_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codec/frame_breakdown.h"
#include "codec/frame_scanner.h"
#include "codec/frame_validation.h"
#include "codec/request_builder.h"

namespace kelvo_sim {
namespace {

const std::string kRequest0 = "<1530042086553F10041>";  // 0x42 to address 0

// Runs the event loop until `done` holds; false when 5 s pass first.
bool WaitFor(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(5000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

// The frames in what a client has received so far.
std::vector<std::string> Frames(const std::string& received) {
  codec::FrameScanner scanner(codec::kLogFrameCap);
  scanner.Feed(received);
  std::vector<std::string> frames;
  while (const auto event = scanner.Next()) frames.emplace_back(event->frame);
  return frames;
}

std::string Address(const std::string& frame) {
  return std::string(codec::BreakDownFrame(frame)[3].value);
}
std::string Command(const std::string& frame) {
  return std::string(codec::BreakDownFrame(frame)[4].value);
}

// A client on a terminal file descriptor, reading whatever arrives into `received`.
class FdClient {
 public:
  explicit FdClient(int fd) : fd_(fd), notifier_(fd, QSocketNotifier::Read) {
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    QObject::connect(&notifier_, &QSocketNotifier::activated, [this] {
      char buffer[4096];
      for (ssize_t got; (got = ::read(fd_, buffer, sizeof buffer)) > 0;) {
        received.append(buffer, static_cast<std::size_t>(got));
      }
    });
  }
  ~FdClient() { ::close(fd_); }
  // Writes all of `bytes`, running the loop while the line is full.
  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
      if (put > 0) bytes.remove_prefix(static_cast<std::size_t>(put));
      if (put <= 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
  }
  // Closes the descriptor early (a line that goes away).
  void Close() {
    notifier_.setEnabled(false);
    ::close(fd_);
    fd_ = -1;
  }
  std::string received;

 private:
  int fd_;
  QSocketNotifier notifier_;
};

std::unique_ptr<FdClient> OpenPtyClient(const QString& path) {
  const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  return std::make_unique<FdClient>(fd);
}

TEST(UnitServer, PtyAnswersItsOwnRequestsWhateverSurroundsThem) {
  UnitServer server(SimulatedUnit({0}, {}, 1));
  QSignalSpy seen(&server, &UnitServer::requestSeen);
  QSignalSpy sent(&server, &UnitServer::answerSent);
  QString path;
  ASSERT_TRUE(server.ServePty(&path)) << server.errorString().toStdString();
  EXPECT_TRUE(path.startsWith("/dev/pts/")) << path.toStdString();
  const auto client = OpenPtyClient(path);
  ASSERT_TRUE(client);

  // Noise, a request to another address, then ours in two pieces.
  client->Write("\x01xx>\r\n" + codec::EncodeRequest(5, "42", "6553F100") + "\r\n" + kRequest0.substr(0, 9));
  ASSERT_TRUE(WaitFor([&] { return seen.count() == 1; }));
  client->Write(kRequest0.substr(9));
  client->Write(codec::EncodeRequest(0, "65", "0026"));
  ASSERT_TRUE(WaitFor([&] { return Frames(client->received).size() == 2; })) << client->received;

  const auto frames = Frames(client->received);
  EXPECT_EQ(Address(frames[0]), "00");
  EXPECT_EQ(Command(frames[0]), "C2");
  EXPECT_TRUE(codec::ValidateFrame(frames[0]).empty());
  EXPECT_EQ(frames[1], "<15300E50800260050E7>");
  EXPECT_EQ(seen.count(), 3);
  ASSERT_EQ(sent.count(), 2);
  EXPECT_EQ(sent.at(1).at(0).toByteArray().toStdString(), frames[1]);
}

TEST(UnitServer, PtyDeliversEchoNoiseAndADelayedSplitAnswer) {
  UnitServer server(SimulatedUnit({0}, {}, 1),
                    Faults{.delay_ms = 30, .split = true, .noise = true, .echo = true});
  QString path;
  ASSERT_TRUE(server.ServePty(&path));
  const auto client = OpenPtyClient(path);
  ASSERT_TRUE(client);
  for (int i = 0; i < 3; ++i) client->Write(kRequest0);
  // Each request comes back as its echo, then its answer.
  ASSERT_TRUE(WaitFor([&] { return Frames(client->received).size() == 6; })) << client->received;
  const auto frames = Frames(client->received);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(frames[2 * i], kRequest0);
    EXPECT_EQ(Command(frames[2 * i + 1]), "C2");
    EXPECT_TRUE(codec::ValidateFrame(frames[2 * i + 1]).empty());
  }
}

TEST(UnitServer, PtySurvivesAFloodWithoutFrameEnds) {
  UnitServer server(SimulatedUnit({0}, {}, 1));
  QString path;
  ASSERT_TRUE(server.ServePty(&path));
  const auto client = OpenPtyClient(path);
  ASSERT_TRUE(client);
  std::string flood(256 * 1024, '7');
  for (std::size_t i = 0; i < flood.size(); i += 1000) flood[i] = '<';
  client->Write(flood);
  client->Write(kRequest0);
  ASSERT_TRUE(WaitFor([&] { return Frames(client->received).size() == 1; }));
  EXPECT_EQ(Command(Frames(client->received)[0]), "C2");
}

TEST(UnitServer, ServesASerialDevice) {
  int master = -1;
  int slave = -1;
  char name[128] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  ::close(slave);

  UnitServer server(SimulatedUnit({9}, {}, 1));
  QSignalSpy lost(&server, &UnitServer::lineLost);
  ASSERT_TRUE(server.ServeDevice(name)) << server.errorString().toStdString();
  FdClient client(master);
  client.Write(codec::EncodeRequest(9, "48", "000000016553F1000001"));
  ASSERT_TRUE(WaitFor([&] { return Frames(client.received).size() == 1; }));
  EXPECT_EQ(Address(Frames(client.received)[0]), "09");
  EXPECT_EQ(Command(Frames(client.received)[0]), "C8");

  // The far end goes away, as an unplugged adapter does.
  client.Close();
  EXPECT_TRUE(WaitFor([&] { return lost.count() == 1; }));
}

TEST(UnitServer, TcpClientsEachGetTheirOwnAnswers) {
  UnitServer server(SimulatedUnit({1, 2}, {}, 1), Faults{.split = true});
  ASSERT_TRUE(server.Listen("tcp://127.0.0.1:0")) << server.errorString().toStdString();
  ASSERT_NE(server.tcpPort(), 0);
  EXPECT_EQ(server.listenAddress(), QString("tcp://127.0.0.1:%1").arg(server.tcpPort()));

  QTcpSocket first;
  QTcpSocket second;
  std::string got_first;
  std::string got_second;
  QObject::connect(&first, &QTcpSocket::readyRead, [&] { got_first += first.readAll().toStdString(); });
  QObject::connect(&second, &QTcpSocket::readyRead, [&] { got_second += second.readAll().toStdString(); });
  first.connectToHost("127.0.0.1", server.tcpPort());
  second.connectToHost("127.0.0.1", server.tcpPort());
  ASSERT_TRUE(WaitFor([&] {
    return first.state() == QAbstractSocket::ConnectedState &&
           second.state() == QAbstractSocket::ConnectedState;
  }));
  for (int i = 0; i < 5; ++i) {
    first.write(QByteArray::fromStdString(codec::EncodeRequest(1, "42", "6553F100")));
    second.write(QByteArray::fromStdString(codec::EncodeRequest(2, "65", "0026")));
  }
  ASSERT_TRUE(WaitFor([&] { return Frames(got_first).size() == 5 && Frames(got_second).size() == 5; }));
  for (const std::string& frame : Frames(got_first)) EXPECT_EQ(Address(frame) + Command(frame), "01C2");
  for (const std::string& frame : Frames(got_second)) EXPECT_EQ(frame, "<15302E5080026003C4E>");  // 60 %
}

TEST(UnitServer, RefusesWhatItCannotServe) {
  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
  const struct {
    const char* what;
    std::function<bool(UnitServer&)> serve;
    QString reason;
  } rows[] = {
      {"no such device", [](UnitServer& s) { return s.ServeDevice("/dev/kvz-no-such-port"); },
       "cannot open /dev/kvz-no-such-port"},
      {"not tcp://", [](UnitServer& s) { return s.Listen("udp://127.0.0.1:5000"); },
       "is not tcp://HOST:PORT"},
      {"no port", [](UnitServer& s) { return s.Listen("tcp://127.0.0.1"); }, "is not tcp://HOST:PORT"},
      {"port too big", [](UnitServer& s) { return s.Listen("tcp://127.0.0.1:65536"); }, "0 to 65535"},
      {"a host name", [](UnitServer& s) { return s.Listen("tcp://example.org:5000"); },
       "must be an IP address"},
      {"port taken",
       [&](UnitServer& s) { return s.Listen(QString("tcp://127.0.0.1:%1").arg(taken.serverPort())); },
       "cannot listen on"},
  };
  for (const auto& row : rows) {
    UnitServer server(SimulatedUnit({0}, {}, 1));
    EXPECT_FALSE(row.serve(server)) << row.what;
    EXPECT_TRUE(server.errorString().contains(row.reason))
        << row.what << ": " << server.errorString().toStdString();
  }
}

}  // namespace
}  // namespace kelvo_sim

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
