// Unix signals delivered on the event loop, for every program that talks to a
// unit: the handler only writes the signal number to a pipe, and a socket
// notifier on the other end emits `received`, so a program ends or reloads
// between two pieces of work, never in the middle of one.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <initializer_list>
#include <memory>
#include <vector>

namespace kelvo_system {

class ProcessSignals : public QObject {
  Q_OBJECT

 public:
  // Catches `signal_numbers` (SIGINT, SIGTERM, SIGHUP, ...) for as long as it
  // lives; one instance per process. Throws std::system_error when the pipe
  // cannot be made.
  explicit ProcessSignals(std::initializer_list<int> signal_numbers, QObject* parent = nullptr);
  ~ProcessSignals() override;  // restores the default handlers

 Q_SIGNALS:
  // Once for every signal caught, in the order they came.
  void received(int signal_number);

 private:
  void OnReadable();

  std::vector<int> signal_numbers_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kelvo_system
