// Unix signals as Qt signals: the handler only writes the signal number to a
// pipe; the event loop reads it.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace kelvo_gateway {

class SignalRelay : public QObject {
  Q_OBJECT
 public:
  // Catches SIGINT, SIGTERM and SIGHUP for as long as the relay lives (one at a time).
  explicit SignalRelay(QObject* parent = nullptr);
  ~SignalRelay() override;

 signals:
  void terminate();  // SIGINT or SIGTERM
  void reload();     // SIGHUP

 private:
  void OnReadable();
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kelvo_gateway
