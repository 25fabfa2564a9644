// Polls the units of one bus in rounds over the shared round poller, no
// retry within a round, and asks each unit once for its identity. A bus whose
// link is down still has its rounds, every request finishing as missed.
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <set>

#include "gateway/gateway_config.h"

namespace kelvo_link {
class LinkClient;
class RoundPoller;
}  // namespace kelvo_link

namespace kelvo_gateway {

class BusPoller : public QObject {
  Q_OBJECT
 public:
  // With `identify`, a unit's first answer is followed by one device-information request.
  BusPoller(BusConfig config, bool identify, QObject* parent = nullptr);
  ~BusPoller() override;

  // The first round starts after `first_round_in_ms` (at once for 0).
  void Start(int first_round_in_ms = 0);
  [[nodiscard]] const BusConfig& config() const { return config_; }
  // When a poller that replaces this one should start its first round, so
  // that rounds keep one interval apart across a restart: ms from now, 0 at once.
  [[nodiscard]] int NextRoundInMs(int interval_ms) const;

 signals:
  // A valid answer to the status request.
  void answered(int address, const QByteArray& frame, const QDateTime& at, double latency_ms);
  void missed(int address, const QString& reason);
  // The unit's device-information answer, or an empty frame when it gave none.
  void identified(int address, const QByteArray& frame);
  // A round begins: its first request goes to the link, which is down
  // (`link_down`) when it is not open.
  void roundStarted(bool link_down);
  // Every unit of the round has answered or missed.
  void roundEnded();
  // For the log: the link's trouble when it starts, a summary every minute
  // while it lasts, and its end once a unit answers.
  void linkNote(const QString& text);

 private:
  static constexpr int kTroubleSummaryMs = 60'000;

  void Identify(int address);
  void Trouble(const QString& message);

  BusConfig config_;
  bool identify_;
  kelvo_link::LinkClient* link_;
  std::unique_ptr<kelvo_link::RoundPoller> rounds_;
  std::set<int> asked_identity_;
  QTimer first_round_;
  QElapsedTimer last_round_start_;  // invalid before the first round
  std::int64_t rounds_seen_ = 0;
  bool troubled_ = false;      // a failure or loss was logged, and no unit has answered since
  std::int64_t attempts_ = 0;  // requests made since the trouble began
  QTimer trouble_summary_;
};

}  // namespace kelvo_gateway
