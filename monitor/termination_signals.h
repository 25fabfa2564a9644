// SIGINT and SIGTERM delivered to the event loop: the handler only writes a
// byte to a pipe, and a socket notifier on the other end emits `received`.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace kelvo_monitor {

class TerminationSignals : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers; one instance per process.
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

 signals:
  void received(int signal_number);

 private:
  void OnReadable();
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kelvo_monitor
