#include "poller.h"

#include <algorithm>

#include "codec/request_builder.h"
#include "codec/requests.h"

namespace kelvo_monitor {

using kelvo_link::Exchange;
using kelvo_link::ExchangeResult;
using kelvo_link::LinkClient;

namespace {
constexpr int kLongestPollWaitMs = 1000;
constexpr int kReconnectMs = 1000;
}  // namespace

Poller::Poller(QObject* parent) : QObject(parent) {
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &Poller::PollOnce);
  reopen_timer_.setSingleShot(true);
  connect(&reopen_timer_, &QTimer::timeout, this, [this] {
    if (client_ && client_->state() == LinkClient::State::Closed) client_->Open();
  });
}

Poller::~Poller() {
  Stop();
}

QByteArray Poller::PollRequest(int address, qint64 unix_seconds) {
  return QByteArray::fromStdString(
      codec::StatusRequest(address, static_cast<std::time_t>(unix_seconds)).frame);
}

void Poller::Start(const kelvo_link::PortSettings& settings, int address, int interval_ms) {
  Stop();
  address_ = address;
  interval_ms_ = std::max(1, interval_ms);
  counters_ = {};
  emit countersChanged();
  client_ = std::make_unique<LinkClient>(settings);
  client_->SetReconnectInterval(std::min(interval_ms_, kReconnectMs));
  reopen_timer_.setInterval(std::min(interval_ms_, kReconnectMs));
  connect(client_.get(), &LinkClient::stateChanged, this, &Poller::stateChanged);
  connect(client_.get(), &LinkClient::openFailed, this, &Poller::openFailed);
  // The client reopens by itself after a loss; a first open that fails is ours to repeat.
  connect(client_.get(), &LinkClient::openFailed, this, [this] {
    if (client_ && client_->state() == LinkClient::State::Closed) reopen_timer_.start();
  });
  connect(client_.get(), &LinkClient::linkLost, this, &Poller::linkLost);
  connect(client_.get(), &LinkClient::frameSent, this, &Poller::frameSent);
  connect(client_.get(), &LinkClient::frameSeen, this, &Poller::frameSeen);
  connect(client_.get(), &LinkClient::overlongDropped, this, &Poller::overlongDropped);
  since_answer_.start();
  client_->Open();
  timer_.start(interval_ms_);
  PollOnce();
}

void Poller::Stop() {
  timer_.stop();
  reopen_timer_.stop();
  if (!client_) return;
  // Pending exchanges finish Cancelled inside Close: let them report to nobody.
  std::unique_ptr<LinkClient> client = std::move(client_);
  in_flight_.clear();
  round_due_ = false;
  client->disconnect(this);
  client->Close();
  client.reset();
}

qint64 Poller::SinceLastAnswerMs() const {
  return client_ ? since_answer_.elapsed() : -1;
}

void Poller::PollOnce() {
  if (!client_) return;
  // The poll before is still out (behind an on-demand request, or a late
  // timer): this round starts the moment it ends. At most one round waits, so
  // nothing piles up however slow the line is.
  if (in_flight_) {
    round_due_ = true;
    return;
  }
  round_due_ = false;
  const QByteArray request = PollRequest(address_, QDateTime::currentSecsSinceEpoch());
  // The next round is the retry.
  Exchange* exchange = client_->Send(request, {std::min(interval_ms_, kLongestPollWaitMs), 0});
  in_flight_ = exchange;
  ++counters_.requests;
  connect(exchange, &Exchange::finished, this, &Poller::OnPollFinished);
  emit countersChanged();
}

void Poller::OnPollFinished() {
  auto* exchange = qobject_cast<Exchange*>(sender());
  if (!exchange) return;
  exchange->deleteLater();
  const bool was_poll = exchange == in_flight_;
  if (was_poll) in_flight_.clear();
  if (exchange->result() == ExchangeResult::Cancelled) return;
  if (was_poll && round_due_) QTimer::singleShot(0, this, &Poller::PollOnce);
  if (exchange->ok()) {
    ++counters_.answered;
    counters_.last_latency_ms = exchange->latencyMs();
    since_answer_.restart();
    emit answered(exchange->answer(), exchange->answeredAt(), exchange->latencyMs());
  } else {
    ++counters_.failed;
    emit pollFailed(exchange->reason());
  }
  emit countersChanged();
}

kelvo_link::Exchange* Poller::Ask(const QByteArray& request) {
  if (!client_) return nullptr;
  Exchange* exchange = client_->Send(request);
  connect(exchange, &Exchange::finished, this, [this, exchange] {
    exchange->deleteLater();
    if (exchange->result() != ExchangeResult::Cancelled) emit onDemandFinished(exchange);
  });
  return exchange;
}

}  // namespace kelvo_monitor
