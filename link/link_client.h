// The host's side of the bus: owns one port, runs one exchange at a time (the
// bus is half duplex) and queues the rest in order. Nothing blocks; every
// step happens on the event loop.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <deque>

#include "codec/frame_scanner.h"
#include "link/answer_rules.h"
#include "link/exchange.h"
#include "link/link_error.h"
#include "link/link_state.h"
#include "link/port_settings.h"

namespace kelvo_link {

class PortConnection;

struct RequestOptions {
  int timeout_ms = 1000;  // per attempt
  int retries = 2;        // attempts after the first
};

class LinkClient : public QObject {
  Q_OBJECT

 public:
  using State = LinkState;

  explicit LinkClient(PortSettings settings, QObject* parent = nullptr);
  // Closes; pending exchanges finish as Cancelled.
  ~LinkClient() override;

  // Starts opening: stateChanged(Open) or openFailed(error, message) follows
  // from the event loop. Serial ports are opened exclusively. A first open
  // that fails is tried again at the reconnect interval, each distinct
  // failure reported once.
  void Open();
  // Closes at once; the exchange in flight and the queued ones finish as
  // Cancelled.
  void Close();
  [[nodiscard]] State state() const { return state_; }
  [[nodiscard]] const PortSettings& settings() const;

  // After a loss (read or resource error, device gone, TCP closed) or a failed
  // open, the port is reopened every `ms` until it is back (default 1000).
  // 0 turns reopening off (the owner decides).
  void SetReconnectInterval(int ms);

  // Queues one request (a frame built with codec::EncodeRequest) and returns
  // its reply at once; finished() never comes from within this call. While
  // the port opens, requests wait; while it is being reopened, a request
  // whose turn comes waits for it up to its timeout and then finishes
  // LinkDown; with the port closed, it finishes LinkDown at once.
  Exchange* Send(const QByteArray& request, RequestOptions options = {});
  // Requests waiting behind the one in flight.
  [[nodiscard]] int queued() const { return static_cast<int>(queue_.size()); }

 signals:
  void stateChanged(kelvo_link::LinkState state);
  // Names the port; for PermissionDenied it says the user may need to be in
  // the dialout group.
  void openFailed(kelvo_link::LinkError error, const QString& message);
  void linkLost(const QString& message);
  // Every frame written, and every frame seen on the line with its verdict
  // against the request in flight (with none in flight, as JudgeAnswer gives
  // it against an empty request: WrongAddress or worse).
  void frameSent(const QByteArray& frame, const QDateTime& at);
  void frameSeen(const QByteArray& frame, const QDateTime& at, kelvo_link::AnswerVerdict verdict);
  // A "<" not closed within the longest frame the length field can state.
  void overlongDropped(const QDateTime& at);

 private:
  void SetState(State state);
  void SchedulePump();
  void Pump();
  void StartAttempt();
  void WaitForLink();
  void AttemptTimedOut();
  void Received(const QByteArray& bytes);
  // Ends the exchange in flight; false when this client was deleted meanwhile.
  bool FinishCurrent(ExchangeResult result, const QString& reason);
  void CancelAll();

  PortConnection* port_;
  State state_ = State::Closed;
  std::deque<QPointer<Exchange>> queue_;
  QPointer<Exchange> current_;
  QTimer attempt_timer_;
  QElapsedTimer since_write_;
  QString rejection_;  // the last attempt's reason for skipping a frame
  bool echo_seen_ = false;
  bool waiting_for_link_ = false;  // the current exchange is not written yet: the port is being reopened
  bool pump_scheduled_ = false;
  codec::FrameScanner scanner_{codec::kWireFrameCap};
};

}  // namespace kelvo_link
