// Exchanges over a pseudo-terminal pair against the simulated unit (a 0x42
// request, the 187-character 0xC2 answer), side by side in one run:
//   - baseline: a minimal POSIX loop (write, poll, read until ">");
//   - ours: LinkClient on the Qt event loop, Send to finished().
// Both talk to the same `kelvo-frame simulate` process, in alternating blocks
// so that load drifts hit both alike. Then memory over 100,000 exchanges with
// every answer turned into a JSON record, as poll does.
//   link_exchange_bench [EXCHANGES_PER_SIDE] [MEMORY_EXCHANGES]
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "codec/request_builder.h"
#include "link/link_client.h"
#include "records/record_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

// The host-time request with a fixed time: the simulator answers it with 0xC2.
const std::string kRequest = codec::EncodeRequest(0, "42", "6757A1C0");

struct Simulator {
  pid_t pid = -1;
  std::string pty;
};

Simulator StartSimulator() {
  int out[2];
  if (pipe(out) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char program[] = KELVO_FRAME_PATH;
  char command[] = "simulate";
  char* argv[] = {program, command, nullptr};
  Simulator simulator;
  if (posix_spawn(&simulator.pid, program, &actions, nullptr, argv, environ) != 0) std::exit(1);
  close(out[1]);
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') simulator.pty += c;
  close(out[0]);
  return simulator;
}

double Percentile(std::vector<double> v, double fraction) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(v.size())))];
}

// The baseline: blocking POSIX calls, nothing else.
std::vector<double> PosixPingPong(int fd, int count) {
  std::vector<double> us;
  char buffer[512];
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    if (write(fd, kRequest.data(), kRequest.size()) != static_cast<ssize_t>(kRequest.size())) std::exit(2);
    bool done = false;
    while (!done) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 1000) != 1) std::exit(3);
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got <= 0) std::exit(4);
      done = std::find(buffer, buffer + got, '>') != buffer + got;
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  return us;
}

// Ours: one exchange after another on the event loop; `each` sees every answer.
template <typename Each>
std::vector<double> LinkExchanges(kelvo_link::LinkClient& client, int count, Each each) {
  std::vector<double> us;
  us.reserve(static_cast<std::size_t>(count));
  QEventLoop loop;
  const QByteArray request = QByteArray::fromStdString(kRequest);
  int left = count;
  Clock::time_point start;
  std::function<void()> next = [&] {
    start = Clock::now();
    kelvo_link::Exchange* exchange = client.Send(request, {1000, 0});
    QObject::connect(exchange, &kelvo_link::Exchange::finished, &client, [&, exchange] {
      us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      exchange->deleteLater();
      if (!exchange->ok()) {
        std::fprintf(stderr, "exchange failed: %s\n", qPrintable(exchange->reason()));
        std::exit(5);
      }
      each(*exchange);
      if (--left > 0) {
        next();
      } else {
        loop.quit();
      }
    });
  };
  next();
  loop.exec();
  return us;
}

long RssKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int per_side = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int memory_exchanges = argc > 2 ? std::atoi(argv[2]) : 100000;
  const Simulator simulator = StartSimulator();
  int qt_argc = 1;
  QCoreApplication app(qt_argc, argv);

  // The baseline opens the same device before the client (which opens it
  // exclusively); the two write and read in turn, never at once.
  const int fd = open(simulator.pty.c_str(), O_RDWR | O_NOCTTY);
  termios mode{};
  tcgetattr(fd, &mode);
  cfmakeraw(&mode);
  tcsetattr(fd, TCSANOW, &mode);

  kelvo_link::LinkClient client({QString::fromStdString(simulator.pty), 115200});
  client.Open();
  QEventLoop opening;
  QObject::connect(&client, &kelvo_link::LinkClient::stateChanged, &opening, [&](auto state) {
    if (state == kelvo_link::LinkClient::State::Open) opening.quit();
  });
  QObject::connect(&client, &kelvo_link::LinkClient::openFailed, [](auto, const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::exit(1);
  });
  opening.exec();

  const auto nothing = [](const kelvo_link::Exchange&) {};
  LinkExchanges(client, 200, nothing);  // warm up both
  PosixPingPong(fd, 200);
  std::vector<double> posix;
  std::vector<double> ours;
  constexpr int kBlocks = 10;
  for (int block = 0; block < kBlocks; ++block) {
    const std::vector<double> a = PosixPingPong(fd, per_side / kBlocks);
    const std::vector<double> b = LinkExchanges(client, per_side / kBlocks, nothing);
    posix.insert(posix.end(), a.begin(), a.end());
    ours.insert(ours.end(), b.begin(), b.end());
  }
  close(fd);
  const double p50_posix = Percentile(posix, 0.5), p99_posix = Percentile(posix, 0.99);
  const double p50_ours = Percentile(ours, 0.5), p99_ours = Percentile(ours, 0.99);
  std::printf("exchanges per side: %d (request %zu characters, answer 0xC2 of 187)\n", per_side,
              kRequest.size());
  std::printf("%-28s %10s %10s %14s\n", "", "p50 us", "p99 us", "exchanges/s");
  std::printf("%-28s %10.1f %10.1f %14.0f\n", "POSIX ping-pong (baseline)", p50_posix, p99_posix,
              1e6 / p50_posix);
  std::printf("%-28s %10.1f %10.1f %14.0f\n", "LinkClient", p50_ours, p99_ours, 1e6 / p50_ours);
  std::printf("ratio LinkClient / baseline: p50 %.2f (target <= 1.5), p99 %.2f\n", p50_ours / p50_posix,
              p99_ours / p99_posix);

  if (memory_exchanges > 0) {
    kelvo_records::RecordWriter writer(kelvo_records::RecordFormat::Json);
    std::size_t bytes = 0;
    long rss_at_1000 = 0;
    int done = 0;
    LinkExchanges(client, memory_exchanges, [&](const kelvo_link::Exchange& exchange) {
      const kelvo_records::Record record{std::chrono::system_clock::now(), 0, exchange.answer().toStdString(),
                                         exchange.latencyMs()};
      bytes += writer.Lines(record).size();
      if (++done == 1000) rss_at_1000 = RssKiB();
    });
    const long rss_end = RssKiB();
    std::printf(
        "memory: RSS %ld KiB after 1,000 exchanges, %ld KiB after %d (%+ld KiB; target within 1024)\n",
        rss_at_1000, rss_end, memory_exchanges, rss_end - rss_at_1000);
    std::printf("(%zu bytes of JSON records made)\n", bytes);
  }
  kill(simulator.pid, SIGTERM);
  waitpid(simulator.pid, nullptr, 0);
  return 0;
}
