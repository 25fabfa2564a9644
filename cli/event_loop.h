// The event loop of the commands that talk to a port, and its clean end on
// SIGINT or SIGTERM. The frame commands never start one.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace kelvo_cli {

// A QCoreApplication with nothing taken from the command line.
class EventLoop {
 public:
  EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Runs until Quit; returns its status.
  int Run() { return app_.exec(); }
  static void Quit(int status) { QCoreApplication::exit(status); }

 private:
  int argc_ = 1;
  char name_[12] = "kelvo-frame";
  char* argv_[2] = {name_, nullptr};
  QCoreApplication app_;
};

// Turns SIGINT and SIGTERM into a signal on the event loop (through a pipe the
// handler writes to), so that a command ends between two records, never in
// the middle of one. One at a time per process.
class StopSignals : public QObject {
  Q_OBJECT

 public:
  StopSignals();
  ~StopSignals() override;

 signals:
  void stopRequested(int signal_number);

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kelvo_cli
