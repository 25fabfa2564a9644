// POSTs alarm events to a webhook on the event loop: in order, one at a
// time, from a bounded queue, sent again with backoff while the receiver is
// away, hangs or answers 5xx, 408 or 429. Nothing waits on it.
#pragma once

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QTimer>
#include <QUrl>
#include <cstdint>
#include <deque>
#include <nlohmann/json.hpp>

#include "gateway/bus_counters.h"
#include "gateway/notify_config.h"

class QNetworkReply;

namespace kelvo_gateway {

// How long a failed event waits before it goes again: `first_ms`, doubled
// after each failure up to `longest_ms`.
struct RetryTimes {
  int first_ms = 1000;
  int longest_ms = 60'000;
};

class WebhookNotifier : public QObject {
  Q_OBJECT
 public:
  explicit WebhookNotifier(NotifyConfig config, RetryTimes retry = {}, QObject* parent = nullptr);
  ~WebhookNotifier() override;

  // Queues one event (an object) to be POSTed as it is, with "dropped" added
  // when events before it never reached the receiver. A full queue drops its
  // oldest waiting event, never the one being sent.
  void Post(nlohmann::ordered_json event);
  // New settings; the waiting events stay, and the one being sent, if any, is
  // sent again at once under them.
  void SetConfig(NotifyConfig config);
  [[nodiscard]] const NotifyConfig& config() const { return config_; }

  // The counts for the stats: waiting (the one being sent included), dropped
  // from the full queue, refused by the receiver, delivered.
  [[nodiscard]] WebhookCounts counts() const;

 signals:
  // One line for the log, once per trouble: its start, a summary every
  // minute while it lasts, its end; a refusal; the queue overflowing.
  void note(const QString& text);

 private:
  static constexpr int kTroubleSummaryMs = 60'000;

  void SendHead();
  void OnFinished();
  void Delivered();
  void Refused(int status, const QString& reason);
  void Failed(const QString& why);
  // Drops the oldest waiting events until the queue holds at most max_queued.
  void Trim();
  // The request in flight, if any, is abandoned; its event stays at the front.
  void Abandon();
  [[nodiscard]] QString Named() const;

  NotifyConfig config_;
  RetryTimes retry_;
  QUrl url_;
  QByteArray authorization_;
  QList<QSslCertificate> ca_;  // empty: the system's
  QNetworkAccessManager manager_;
  std::deque<nlohmann::ordered_json> queue_;  // its front is in flight while reply_ is set
  QNetworkReply* reply_ = nullptr;
  std::uint64_t said_by_reply_ = 0;  // the "dropped" the request in flight carries
  bool timed_out_ = false;
  QTimer deadline_;
  QTimer retry_timer_;
  int next_retry_ms_;
  std::uint64_t unsaid_ = 0;  // events lost since the last delivery, for its successor to say
  std::uint64_t dropped_ = 0;
  std::uint64_t refused_ = 0;
  std::uint64_t sent_ = 0;
  bool troubled_ = false;  // a failure was logged and nothing has been delivered since
  std::int64_t attempts_ = 0;
  QString trouble_;
  QTimer trouble_summary_;
  bool told_refused_ = false;  // both since the last delivery
  bool told_full_ = false;
};

}  // namespace kelvo_gateway
