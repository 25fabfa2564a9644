// One request's reply, as LinkClient::Send returns it at once: it emits
// finished() exactly once, and then the caller deletes it with deleteLater().
// Exchanges are children of their client and go with it.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

namespace kelvo_link {

class LinkClient;

enum class ExchangeResult { Answered, NoAnswer, LinkDown, Cancelled };

class Exchange : public QObject {
  Q_OBJECT

 public:
  [[nodiscard]] ExchangeResult result() const { return result_; }
  [[nodiscard]] bool ok() const { return result_ == ExchangeResult::Answered; }
  [[nodiscard]] QByteArray request() const { return request_; }
  // The accepted answer frame, "<...>"; empty unless answered.
  [[nodiscard]] QByteArray answer() const { return answer_; }
  // When the answer arrived, in local time (the offset is known).
  [[nodiscard]] QDateTime answeredAt() const { return answered_at_; }
  // From the write of the last attempt to its answer.
  [[nodiscard]] double latencyMs() const { return latency_ms_; }
  [[nodiscard]] int attempts() const { return attempts_; }
  // Why there is no answer: "no answer (silence)", "bad check value",
  // "wrong command 43", "link lost: ..." (what the last attempt saw). Empty
  // when answered.
  [[nodiscard]] QString reason() const { return reason_; }
  [[nodiscard]] bool isFinished() const { return finished_; }

 signals:
  void finished();

 private:
  friend class LinkClient;
  Exchange(QByteArray request, int timeout_ms, int retries, QObject* parent);
  void Finish(ExchangeResult result, const QString& reason);

  QByteArray request_;
  int timeout_ms_;
  int retries_;
  ExchangeResult result_ = ExchangeResult::Cancelled;
  QByteArray answer_;
  QDateTime answered_at_;
  double latency_ms_ = 0;
  int attempts_ = 0;
  QString reason_;
  bool finished_ = false;
};

}  // namespace kelvo_link
