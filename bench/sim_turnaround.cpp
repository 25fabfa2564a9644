// How long the simulated unit takes to answer over a pseudo-terminal, side by
// side in one run with a minimal POSIX responder on the same kind of pair
// sending an answer of the same length. The client is the same plain POSIX
// loop for both: write the 0x42 request, read until ">".
//   sim_turnaround [EXCHANGES]   (default 20000 per round, 3 rounds each)
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr char kRequest[] = "<153004208675A1B00AF>";  // 0x42 to address 0, 21 characters
constexpr std::size_t kAnswerLength = 187;            // the 0xC2 answer with 16 cells and 4 sensors

void Raw(int fd) {
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
}

// Microseconds per exchange; empty when the other end stops answering.
std::vector<double> Exchange(int fd, int count) {
  std::vector<double> us;
  char buffer[4096];
  for (int i = 0; i < count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (::write(fd, kRequest, sizeof kRequest - 1) < 0) return {};
    for (bool done = false; !done;) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 2000) <= 0) return {};
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got <= 0) return {};
      done = std::memchr(buffer, '>', static_cast<std::size_t>(got)) != nullptr;
    }
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  return us;
}

void Report(const char* what, std::vector<double> us) {
  if (us.empty()) {
    std::printf("%-22s no answer\n", what);
    return;
  }
  std::sort(us.begin(), us.end());
  std::printf("%-22s p50 %7.1f us   p99 %8.1f us\n", what, us[us.size() / 2], us[us.size() * 99 / 100]);
}

// A pty whose other end answers every ">" with kAnswerLength bytes, from a child.
int StartPosixResponder(pid_t& child) {
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return -1;
  Raw(slave);
  child = fork();
  if (child == 0) {
    ::close(slave);
    const std::string answer = std::string(kAnswerLength - 1, 'A') + '>';
    char buffer[4096];
    for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;) {
      if (std::memchr(buffer, '>', static_cast<std::size_t>(got)) &&
          ::write(master, answer.data(), answer.size()) < 0) {
        break;
      }
    }
    _exit(0);
  }
  ::close(master);
  return slave;
}

// kelvo-frame simulate in a child; returns its pty opened, or -1.
int StartSimulator(pid_t& child) {
  int out[2];
  if (::pipe(out) != 0) return -1;
  child = fork();
  if (child == 0) {
    dup2(out[1], 1);
    const int null = ::open("/dev/null", O_WRONLY);
    dup2(null, 2);
    execl(KELVO_FRAME_PATH, KELVO_FRAME_PATH, "simulate", "--seed", "1", static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  const int fd = ::open(line.c_str(), O_RDWR | O_NOCTTY);
  if (fd >= 0) Raw(fd);
  return fd;
}

long RssKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
  pid_t responder = -1;
  pid_t simulator = -1;
  const int posix = StartPosixResponder(responder);
  const int sim = StartSimulator(simulator);
  if (posix < 0 || sim < 0) {
    std::fprintf(stderr, "sim_turnaround: cannot start the responders\n");
    return 1;
  }
  Exchange(sim, 1000);
  const long rss_early = RssKiB(simulator);
  for (int round = 0; round < 3; ++round) {
    Report("POSIX responder", Exchange(posix, count));
    Report("kelvo-frame simulate", Exchange(sim, count));
  }
  std::printf("simulator RSS: %ld KiB after 1,000 exchanges, %ld KiB after %d\n", rss_early,
              RssKiB(simulator), 1000 + 3 * count);
  ::kill(simulator, SIGTERM);
  ::kill(responder, SIGTERM);
  int status = 0;
  waitpid(simulator, &status, 0);
  waitpid(responder, nullptr, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
