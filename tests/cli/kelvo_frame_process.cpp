#include "kelvo_frame_process.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace kelvo_test {
namespace {

std::string Slurp(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
  return text;
}

void WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put <= 0) _exit(0);  // the reader has gone
    done += static_cast<std::size_t>(put);
  }
}

// A child process that writes `input` into a pipe; returns its read end.
int Generate(const std::vector<Piece>& input, pid_t& generator) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return -1;
  generator = fork();
  if (generator == 0) {
    std::signal(SIGPIPE, SIG_IGN);
    ::close(pipe_fds[0]);
    for (const Piece& piece : input) {
      for (std::size_t i = 0; i < piece.times; ++i) WriteAll(pipe_fds[1], piece.text);
    }
    _exit(0);
  }
  ::close(pipe_fds[1]);
  return pipe_fds[0];
}

}  // namespace

Result RunKelvoFrame(const Run& run) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  pid_t generator = -1;
  const int in = run.in_fd >= 0 ? run.in_fd : Generate(run.input, generator);

  std::vector<char*> argv{const_cast<char*>(KELVO_FRAME_PATH)};
  for (const std::string& arg : run.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in, 0);
    dup2(run.out_fd >= 0 ? run.out_fd : fileno(out), 1);
    dup2(run.err_to_out ? 1 : run.err_fd >= 0 ? run.err_fd : fileno(err), 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (run.in_fd < 0) ::close(in);

  Result result;
  int wstatus = 0;
  rusage usage{};
  wait4(pid, &wstatus, 0, &usage);
  if (generator > 0) waitpid(generator, nullptr, 0);
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.peak_kib = usage.ru_maxrss;
  result.out = Slurp(out);
  result.err = Slurp(err);
  std::fclose(out);
  std::fclose(err);
  return result;
}

}  // namespace kelvo_test
