// kelvo-frame simulate as a script uses it: read the path from the first
// line, talk to the unit there, stop it with SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Reads from `fd` into `text` until `done` holds or 5 s pass.
template <typename Done>
bool ReadUntil(int fd, std::string& text, Done done) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (!done(text)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) return false;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

struct Child {
  pid_t pid = -1;
  int out = -1;  // its standard output
  int err = -1;  // its standard error
};

Child Spawn(std::vector<std::string> args) {
  int out[2];
  int err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return {};
  args.insert(args.begin(), KELVO_FRAME_PATH);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  return {pid, out[0], err[0]};
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(SimulateCommand, PrintsItsPtyAnswersAndStopsOnSigterm) {
  const Child child = Spawn({"simulate", "--address", "3,7-9", "--seed", "1"});
  ASSERT_GT(child.pid, 0);
  std::string out;
  ASSERT_TRUE(
      ReadUntil(child.out, out, [](const std::string& t) { return t.find('\n') != std::string::npos; }));
  const std::string path = out.substr(0, out.find('\n'));
  EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

  const int pty = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(pty, 0) << path;
  const std::string request = "<1130865040026D0>";  // 0x65 to address 8, register 0x0026
  ASSERT_EQ(::write(pty, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  std::string answer;
  EXPECT_TRUE(ReadUntil(pty, answer, [](const std::string& t) { return t.find('>') != std::string::npos; }));
  EXPECT_EQ(answer, "<15308E508002600328E>");  // address 8 starts at 80 % - 3 x 10 % = 50 %
  ::close(pty);

  ::kill(child.pid, SIGTERM);
  EXPECT_EQ(Wait(child.pid), 0);
  std::string err;
  ReadUntil(child.err, err, [](const std::string&) { return false; });
  EXPECT_NE(err.find("answering at address 3,7-9"), std::string::npos) << err;
  EXPECT_NE(err.find("1 answer sent"), std::string::npos) << err;
  ::close(child.out);
  ::close(child.err);
}

TEST(SimulateCommand, RefusesCellsWhoseAnswerWouldNotFit) {
  const Child child = Spawn({"simulate", "--cells", "30"});
  ASSERT_GT(child.pid, 0);
  EXPECT_EQ(Wait(child.pid), 2);
  std::string err;
  ReadUntil(child.err, err, [](const std::string&) { return false; });
  EXPECT_NE(err.find("at most 29 cells fit"), std::string::npos) << err;
  ::close(child.out);
  ::close(child.err);
}

// What cannot be served is refused with a reason: usage errors with status
// 2, paths that exist but are no serial port with 3, naming what they are.
TEST(SimulateCommand, RefusesWhatItCannotServe) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* err;
  } rows[] = {
      {"listen without tcp://", {"--listen", "127.0.0.1:4001"}, 2, "is not tcp://HOST:PORT"},
      {"listen port too large", {"--listen", "tcp://127.0.0.1:99999"}, 2, "the port must be a number"},
      {"empty device path", {"--port", ""}, 2, "the device path is empty"},
      {"negative seed", {"--seed", "-1"}, 2, "not a whole number"},
      {"seed beyond 64 bits", {"--seed", "99999999999999999999"}, 2, "not a whole number"},
      {"a directory", {"--port", "/"}, 3, "/: a directory, not a serial port"},
      {"a regular file", {"--port", KELVO_FRAME_PATH}, 3, "a regular file, not a serial port"},
      {"a device that is no terminal", {"--port", "/dev/null"}, 3, "a device that is not a serial port"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args{"simulate"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Child child = Spawn(args);
    ASSERT_GT(child.pid, 0) << row.name;
    std::string err;
    ReadUntil(child.err, err, [](const std::string&) { return false; });
    EXPECT_EQ(Wait(child.pid), row.status) << row.name;
    EXPECT_NE(err.find(row.err), std::string::npos) << row.name << ": " << err;
    ::close(child.out);
    ::close(child.err);
  }
}

}  // namespace
