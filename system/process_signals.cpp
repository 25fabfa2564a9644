#include "system/process_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>

namespace kelvo_system {
namespace {

int g_pipe[2] = {-1, -1};

extern "C" void WriteSignalNumber(int signal_number) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(signal_number);
  // Async-signal-safe; a full pipe already holds a pending wake-up.
  [[maybe_unused]] const ssize_t put = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

void Handle(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal_number, &action, nullptr);
}

}  // namespace

ProcessSignals::ProcessSignals(std::initializer_list<int> signal_numbers, QObject* parent)
    : QObject(parent), signal_numbers_(signal_numbers) {
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::system_error(errno, std::generic_category(), "cannot create the signal pipe");
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &ProcessSignals::OnReadable);
  for (const int number : signal_numbers_) Handle(number, WriteSignalNumber);
}

ProcessSignals::~ProcessSignals() {
  for (const int number : signal_numbers_) Handle(number, SIG_DFL);
  notifier_.reset();
  for (int& fd : g_pipe) {
    ::close(fd);
    fd = -1;
  }
}

void ProcessSignals::OnReadable() {
  unsigned char byte = 0;
  while (::read(g_pipe[0], &byte, 1) == 1) emit received(byte);
}

}  // namespace kelvo_system
