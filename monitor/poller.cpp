#include "poller.h"

#include <algorithm>

namespace kelvo_monitor {

using kelvo_link::Exchange;
using kelvo_link::ExchangeResult;
using kelvo_link::LinkClient;
using kelvo_link::RoundPoller;

namespace {
// A poll waits at most this long, and is not repeated: the next round is the retry.
constexpr int kLongestPollWaitMs = 1000;
constexpr int kReconnectMs = 1000;
}  // namespace

Poller::Poller(QObject* parent) : QObject(parent) {}

Poller::~Poller() {
  Stop();
}

void Poller::Start(const kelvo_link::PortSettings& settings, int address, int interval_ms) {
  Stop();
  address_ = address;
  interval_ms_ = std::max(1, interval_ms);
  counters_ = {};
  emit countersChanged();
  client_ = std::make_unique<LinkClient>(settings);
  client_->SetReconnectInterval(std::min(interval_ms_, kReconnectMs));
  connect(client_.get(), &LinkClient::stateChanged, this, &Poller::stateChanged);
  connect(client_.get(), &LinkClient::openFailed, this, &Poller::openFailed);
  connect(client_.get(), &LinkClient::linkLost, this, &Poller::linkLost);
  connect(client_.get(), &LinkClient::frameSent, this, &Poller::frameSent);
  connect(client_.get(), &LinkClient::frameSeen, this, &Poller::frameSeen);
  connect(client_.get(), &LinkClient::overlongDropped, this, &Poller::overlongDropped);

  kelvo_link::RoundSettings rounds;
  rounds.addresses = {address_};
  rounds.interval_ms = interval_ms_;
  rounds.request = {std::min(interval_ms_, kLongestPollWaitMs), 0};
  rounds_ = std::make_unique<RoundPoller>(*client_, std::move(rounds));
  rounds_seen_ = 0;
  connect(rounds_.get(), &RoundPoller::requestSent, this, [this](int) {
    if (rounds_->round() == rounds_seen_) return;
    rounds_seen_ = rounds_->round();
    emit roundStarted(client_->state() != LinkClient::State::Open);
  });
  // A poll counts once it was written: one that waited for a link that never
  // came back went nowhere.
  connect(rounds_.get(), &RoundPoller::answered, this, [this](int, const Exchange& exchange) {
    ++counters_.requests;
    ++counters_.answered;
    counters_.last_latency_ms = exchange.latencyMs();
    since_answer_.restart();
    emit answered(exchange.answer(), exchange.answeredAt(), exchange.latencyMs());
    emit countersChanged();
  });
  connect(rounds_.get(), &RoundPoller::missed, this, [this](int, const Exchange& exchange) {
    if (exchange.attempts() > 0) {
      ++counters_.requests;
      ++counters_.failed;
    }
    emit pollFailed(exchange.reason());
    emit countersChanged();
  });
  since_answer_.start();
  client_->Open();
  rounds_->Start();
}

void Poller::Stop() {
  if (!client_) return;
  // Pending exchanges finish Cancelled inside Close: let them report to nobody.
  rounds_.reset();
  std::unique_ptr<LinkClient> client = std::move(client_);
  client->disconnect(this);
  client->Close();
  client.reset();
}

qint64 Poller::SinceLastAnswerMs() const {
  return client_ ? since_answer_.elapsed() : -1;
}

kelvo_link::Exchange* Poller::Ask(const QByteArray& request) {
  if (!client_) return nullptr;
  Exchange* exchange = rounds_->Ask(request, {});
  connect(exchange, &Exchange::finished, this, [this, exchange] {
    exchange->deleteLater();
    if (exchange->result() != ExchangeResult::Cancelled) emit onDemandFinished(exchange);
  });
  return exchange;
}

}  // namespace kelvo_monitor
