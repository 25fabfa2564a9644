#include "termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace kelvo_monitor {
namespace {

int g_pipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int number) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(number);
  // Async-signal-safe; a full pipe already carries a pending wake-up.
  [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
  if (g_pipe[0] < 0) return;
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  delete notifier_;
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::OnReadable() {
  unsigned char byte = 0;
  int last = 0;
  while (::read(g_pipe[0], &byte, 1) == 1) last = byte;
  if (last) emit received(last);
}

}  // namespace kelvo_monitor
