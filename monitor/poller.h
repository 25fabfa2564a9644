// The monitor's link to its one unit: the status request every interval
// through the round poller, the user's on-demand requests on the same port,
// and the counts of what it sent.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <cstdint>
#include <memory>

#include "link/link_client.h"
#include "link/round_poller.h"

namespace kelvo_monitor {

// Polls written to the line and how they ended, counted as each one ends.
struct PollCounters {
  qint64 requests = 0;
  qint64 answered = 0;
  qint64 failed = 0;            // written, and no valid answer
  double last_latency_ms = -1;  // -1: none yet
};

class Poller : public QObject {
  Q_OBJECT
 public:
  explicit Poller(QObject* parent = nullptr);
  ~Poller() override;

  // Opens `settings` and polls `address` every `interval_ms`, the first poll
  // at once. A running poll is stopped first.
  void Start(const kelvo_link::PortSettings& settings, int address, int interval_ms);
  // Closes the port; whatever is pending finishes Cancelled.
  void Stop();
  [[nodiscard]] bool running() const { return client_ != nullptr; }

  // Queues a request the user asked for behind what is in flight; its answer
  // comes back through onDemandFinished. Null when not running.
  kelvo_link::Exchange* Ask(const QByteArray& request);

  [[nodiscard]] kelvo_link::LinkClient* client() const { return client_.get(); }
  [[nodiscard]] const PollCounters& counters() const { return counters_; }
  [[nodiscard]] int address() const { return address_; }
  [[nodiscard]] int interval() const { return interval_ms_; }
  // Milliseconds since the last valid answer (or since polling began); -1 when not running.
  [[nodiscard]] qint64 SinceLastAnswerMs() const;

 signals:
  // A valid answer to a poll.
  void answered(const QByteArray& frame, const QDateTime& at, double latency_ms);
  // A round begins (its poll was handed to the link, which is down or not);
  // its answer or failure follows.
  void roundStarted(bool link_down);
  // A poll that got no valid answer within its round, written or not.
  void pollFailed(const QString& reason);
  void countersChanged();
  void onDemandFinished(kelvo_link::Exchange* exchange);  // deleted after the signal
  // The link's own signals, passed on from whichever client is current.
  void stateChanged(kelvo_link::LinkClient::State state);
  void openFailed(kelvo_link::LinkError error, const QString& message);
  void linkLost(const QString& message);
  void frameSent(const QByteArray& frame, const QDateTime& at);
  void frameSeen(const QByteArray& frame, const QDateTime& at, kelvo_link::AnswerVerdict verdict);
  void overlongDropped(const QDateTime& at);

 private:
  std::unique_ptr<kelvo_link::LinkClient> client_;
  std::unique_ptr<kelvo_link::RoundPoller> rounds_;  // on client_
  QElapsedTimer since_answer_;
  PollCounters counters_;
  std::int64_t rounds_seen_ = 0;
  int address_ = 0;
  int interval_ms_ = 1000;
};

}  // namespace kelvo_monitor
