// One port, opened from its settings as a QIODevice: a serial device or a TCP
// connection to a serial-device server. Shared by the link client and the line
// listener, so that opening, loss and reopening behave the same everywhere.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "link/link_error.h"
#include "link/link_state.h"
#include "link/port_settings.h"

class QIODevice;
class QSerialPort;
class QTcpSocket;

namespace kelvo_link {

class PortConnection : public QObject {
  Q_OBJECT

 public:
  using State = LinkState;

  explicit PortConnection(PortSettings settings, QObject* parent = nullptr);
  ~PortConnection() override;

  // Starts opening, on the event loop: opened() or openFailed() follows, never
  // from within this call. Serial devices are opened exclusively, 8N1, no flow
  // control. An open that fails is tried again every reconnect interval
  // (state Reconnecting), and each distinct failure is reported once. Does
  // nothing unless Closed.
  void Open();
  // Closes at once; no signal follows. Stops reopening.
  void Close();
  [[nodiscard]] State state() const { return state_; }
  [[nodiscard]] const PortSettings& settings() const { return settings_; }

  // After a loss, or a first open that failed, the device is opened again
  // every `ms` until it is back (after a loss quietly: only opened() tells).
  // 0 turns reopening off: a failed open then leaves the port Closed.
  void SetReconnectInterval(int ms) { reconnect_ms_ = ms; }

  // Queues bytes to write; false when the port is not open or refuses them
  // (the loss is then reported through lost(), from the event loop).
  bool Write(const QByteArray& bytes);

 signals:
  void opened();
  void openFailed(kelvo_link::LinkError error, const QString& message);
  // The device is closed already; reopening has started if it is on.
  void lost(const QString& message);
  void received(const QByteArray& bytes);
  void stateChanged(kelvo_link::LinkState state);

 private:
  void StartOpening();
  void OpenSerial(const QString& path);
  void OpenTcp(const QString& host, quint16 port);
  void Opened();
  void Failed(LinkError error, const QString& message);
  void Lose(const QString& message);
  void DropDevice();
  void SetState(State state);
  void ReadAll();

  PortSettings settings_;
  State state_ = State::Closed;
  bool reopening_ = false;  // after a loss: a failed reopen waits for the next interval quietly
  QString last_failure_;    // the open failure reported last, so that each is told once
  int reconnect_ms_ = 1000;
  QIODevice* device_ = nullptr;
  QTimer connect_timer_;
  QTimer reopen_timer_;
};

// The message for a port that could not be opened, naming it; for
// PermissionDenied it says the user may need to be in the dialout group.
[[nodiscard]] QString OpenFailureText(const QString& port, LinkError error, const QString& detail);

}  // namespace kelvo_link
