#include "gateway/signal_relay.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace kelvo_gateway {
namespace {

int g_pipe[2] = {-1, -1};

void Catch(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = write(g_pipe[1], &number, 1);
  errno = saved;
}

}  // namespace

SignalRelay::SignalRelay(QObject* parent) : QObject(parent) {
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalRelay::OnReadable);
  struct sigaction action {};
  action.sa_handler = &Catch;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
}

SignalRelay::~SignalRelay() {
  for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
  notifier_.reset();
  for (int& fd : g_pipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void SignalRelay::OnReadable() {
  unsigned char number = 0;
  while (read(g_pipe[0], &number, 1) == 1) {
    if (number == SIGHUP) {
      emit reload();
    } else {
      emit terminate();
    }
  }
}

}  // namespace kelvo_gateway
