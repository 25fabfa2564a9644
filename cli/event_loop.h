// The event loop of the commands that talk to a port. The frame commands
// never start one.
#pragma once

#include <QCoreApplication>

namespace kelvo_cli {

// A QCoreApplication with nothing taken from the command line.
class EventLoop {
 public:
  EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Runs until Quit; returns its status.
  int Run() { return QCoreApplication::exec(); }
  static void Quit(int status) { QCoreApplication::exit(status); }

 private:
  int argc_ = 1;
  char name_[12] = "kelvo-frame";
  char* argv_[2] = {name_, nullptr};
  QCoreApplication app_;
};

}  // namespace kelvo_cli
