// Polls the units of one bus in rounds: each address once per round, in order,
// one exchange at a time, no retry within a round. A bus whose link is down
// still has its rounds, every request finishing as missed.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <deque>
#include <set>

#include "gateway/gateway_config.h"

namespace kelvo_link {
class LinkClient;
class Exchange;
}  // namespace kelvo_link

namespace kelvo_gateway {

class BusPoller : public QObject {
  Q_OBJECT
 public:
  // With `identify`, a unit's first answer is followed by one 0x48 request.
  BusPoller(BusConfig config, bool identify, QObject* parent = nullptr);
  ~BusPoller() override;

  void Start();
  [[nodiscard]] const BusConfig& config() const { return config_; }

 signals:
  // A valid 0xC2 answer to the status request.
  void answered(int address, const QByteArray& frame, const QDateTime& at, double latency_ms);
  void missed(int address, const QString& reason);
  // The unit's 0x48 answer, or an empty frame when it gave none.
  void identified(int address, const QByteArray& frame);
  // The link opened, failed or was lost: for the log.
  void linkNote(const QString& text);

 private:
  struct Request {
    int address;
    bool identity;
  };
  void StartRound();
  void SendNext();
  void OnFinished(kelvo_link::Exchange* exchange, Request request);

  BusConfig config_;
  bool identify_;
  kelvo_link::LinkClient* link_;
  QTimer round_timer_;
  QTimer reopen_timer_;
  std::deque<Request> pending_;
  bool busy_ = false;       // an exchange is in flight
  bool round_due_ = false;  // the round timer fired while the last round was still going
  std::set<int> asked_identity_;
  QString last_link_note_;
};

}  // namespace kelvo_gateway
