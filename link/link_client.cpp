#include "link/link_client.h"

#include "link/port_connection.h"

namespace kelvo_link {
namespace {

std::string_view View(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

}  // namespace

LinkClient::LinkClient(PortSettings settings, QObject* parent)
    : QObject(parent), port_(new PortConnection(std::move(settings), this)) {
  attempt_timer_.setSingleShot(true);
  attempt_timer_.setTimerType(Qt::PreciseTimer);
  connect(&attempt_timer_, &QTimer::timeout, this, &LinkClient::AttemptTimedOut);
  connect(port_, &PortConnection::stateChanged, this, &LinkClient::SetState);
  connect(port_, &PortConnection::opened, this, [this] {
    scanner_.Reset();
    if (current_ && waiting_for_link_) {
      waiting_for_link_ = false;
      StartAttempt();
    }
    SchedulePump();
  });
  connect(port_, &PortConnection::openFailed, this, [this](LinkError error, const QString& message) {
    emit openFailed(error, message);
    SchedulePump();  // what waited for the port now waits for the reopen, or finishes LinkDown
  });
  connect(port_, &PortConnection::lost, this, [this](const QString& message) {
    QPointer<LinkClient> self(this);
    emit linkLost(message);
    if (!self) return;
    attempt_timer_.stop();
    if (!FinishCurrent(ExchangeResult::LinkDown, QStringLiteral("link lost: %1").arg(message))) return;
    SchedulePump();
  });
  connect(port_, &PortConnection::received, this, &LinkClient::Received);
}

LinkClient::~LinkClient() {
  attempt_timer_.stop();
  port_->disconnect(this);
  port_->Close();
  CancelAll();
}

const PortSettings& LinkClient::settings() const {
  return port_->settings();
}

void LinkClient::Open() {
  port_->Open();
}

void LinkClient::Close() {
  attempt_timer_.stop();
  port_->Close();
  CancelAll();
}

void LinkClient::SetReconnectInterval(int ms) {
  port_->SetReconnectInterval(ms);
}

Exchange* LinkClient::Send(const QByteArray& request, RequestOptions options) {
  auto* exchange = new Exchange(request, std::max(options.timeout_ms, 1), std::max(options.retries, 0), this);
  if (!current_ && queue_.empty() && state_ == State::Open) {
    // The bus is free: write at once, which saves a turn of the event loop per
    // exchange. Nothing here can finish the exchange (a failed write is
    // reported from the event loop).
    current_ = exchange;
    StartAttempt();
    return exchange;
  }
  queue_.emplace_back(exchange);
  SchedulePump();
  return exchange;
}

void LinkClient::SetState(State state) {
  if (state_ == state) return;
  state_ = state;
  emit stateChanged(state);
}

void LinkClient::SchedulePump() {
  if (pump_scheduled_) return;
  pump_scheduled_ = true;
  QMetaObject::invokeMethod(this, &LinkClient::Pump, Qt::QueuedConnection);
}

void LinkClient::Pump() {
  pump_scheduled_ = false;
  QPointer<LinkClient> self(this);
  while (self && !current_ && !queue_.empty()) {
    if (state_ == State::Opening) return;  // opened() or openFailed() pumps again
    QPointer<Exchange> next = queue_.front();
    queue_.pop_front();
    if (!next) continue;  // deleted by its owner before its turn
    if (state_ == State::Closed) {
      next->Finish(ExchangeResult::LinkDown, QStringLiteral("link down: %1").arg(port_->settings().port));
      continue;
    }
    current_ = next;
    if (state_ == State::Open) {
      StartAttempt();
    } else {
      WaitForLink();
    }
  }
}

void LinkClient::StartAttempt() {
  ++current_->attempts_;
  rejection_.clear();
  echo_seen_ = false;
  since_write_.start();
  attempt_timer_.start(current_->timeout_ms_);
  if (!port_->Write(current_->request_)) return;  // the loss finishes it
  emit frameSent(current_->request_, QDateTime::currentDateTimeUtc());
}

void LinkClient::WaitForLink() {
  // A reopen due at the moment of the request must not cost it its turn.
  waiting_for_link_ = true;
  attempt_timer_.start(current_->timeout_ms_);
}

void LinkClient::AttemptTimedOut() {
  if (!current_) return;
  if (waiting_for_link_) {
    waiting_for_link_ = false;
    if (FinishCurrent(ExchangeResult::LinkDown,
                      QStringLiteral("link down: %1").arg(port_->settings().port))) {
      SchedulePump();
    }
    return;
  }
  if (current_->attempts_ <= current_->retries_) {
    StartAttempt();
    return;
  }
  QString reason = rejection_;
  if (reason.isEmpty() && scanner_.insideFrame()) reason = QStringLiteral("incomplete answer");
  if (reason.isEmpty()) {
    reason = echo_seen_ ? QStringLiteral("no answer (only the echo of the request)")
                        : QStringLiteral("no answer (silence)");
  }
  if (FinishCurrent(ExchangeResult::NoAnswer, reason)) SchedulePump();
}

void LinkClient::Received(const QByteArray& bytes) {
  QPointer<LinkClient> self(this);
  // Frames of this chunk were on the line before any request written while
  // handling it: they are judged against the exchange in flight now, or none.
  QPointer<Exchange> judged = current_;
  // The scanner reads `bytes` in place until Next() runs dry: they belong to
  // the port's read, which outlives this call whatever the handlers do.
  scanner_.Feed(View(bytes));
  while (const std::optional<codec::ScanEvent> event = scanner_.Next()) {
    const QDateTime at = QDateTime::currentDateTimeUtc();
    if (event->kind == codec::ScanEvent::Kind::Overlong) {
      emit overlongDropped(at);
      if (!self) return;
      continue;
    }
    if (judged != current_) judged.clear();
    const std::string_view request = judged ? View(judged->request_) : std::string_view();
    const AnswerVerdict verdict = JudgeAnswer(request, event->frame);
    const QByteArray frame(event->frame.data(), static_cast<qsizetype>(event->frame.size()));
    if (judged && verdict == AnswerVerdict::Accepted) {
      judged->latency_ms_ = static_cast<double>(since_write_.nsecsElapsed()) / 1e6;
      judged->answer_ = frame;
      judged->answered_at_ = at;
      attempt_timer_.stop();
    } else if (judged && verdict == AnswerVerdict::Echo) {
      echo_seen_ = true;
    } else if (judged) {
      rejection_ = RejectionText(request, event->frame, verdict);
    }
    emit frameSeen(frame, at, verdict);
    if (!self) return;
    if (judged && judged == current_ && verdict == AnswerVerdict::Accepted) {
      judged.clear();
      if (!FinishCurrent(ExchangeResult::Answered, {})) return;
      SchedulePump();
    }
  }
}

bool LinkClient::FinishCurrent(ExchangeResult result, const QString& reason) {
  waiting_for_link_ = false;
  if (!current_) return true;
  QPointer<LinkClient> self(this);
  QPointer<Exchange> done = current_;
  current_.clear();
  done->Finish(result, reason);
  return !self.isNull();
}

void LinkClient::CancelAll() {
  std::deque<QPointer<Exchange>> all;
  all.swap(queue_);
  if (current_) all.push_front(current_);
  current_.clear();
  waiting_for_link_ = false;
  for (const QPointer<Exchange>& exchange : all) {
    if (exchange) exchange->Finish(ExchangeResult::Cancelled, QStringLiteral("cancelled"));
  }
}

}  // namespace kelvo_link
