#include "link/round_poller.h"

#include <ctime>

#include "codec/requests.h"
#include "link/exchange.h"

namespace kelvo_link {

RoundPoller::RoundPoller(LinkClient& link, RoundSettings settings, QObject* parent)
    : QObject(parent), link_(link), settings_(std::move(settings)) {
  if (!settings_.make_request) {
    settings_.make_request = [](int address) {
      return QByteArray::fromStdString(codec::StatusRequest(address, std::time(nullptr)).frame);
    };
  }
  round_timer_.setSingleShot(true);
  round_timer_.setTimerType(Qt::PreciseTimer);
  connect(&round_timer_, &QTimer::timeout, this, &RoundPoller::RoundDue);
}

RoundPoller::~RoundPoller() = default;

void RoundPoller::Start() {
  Stop();
  running_ = true;
  StartRound();
}

void RoundPoller::Stop() {
  ++run_;
  running_ = false;
  round_timer_.stop();
  in_flight_ = false;
  due_ = false;
}

Exchange* RoundPoller::Ask(const QByteArray& request, RequestOptions options) {
  return link_.Send(request, options);
}

void RoundPoller::RoundDue() {
  if (in_flight_ || next_ < settings_.addresses.size()) {
    due_ = true;  // this round overran: the next starts the moment it ends
    return;
  }
  StartRound();
}

void RoundPoller::StartRound() {
  due_ = false;
  if (settings_.rounds > 0 && round_ >= settings_.rounds) return;
  // Start to start: the next round is one interval after this one began,
  // also when this one began late because the last overran.
  round_timer_.start(settings_.interval_ms);
  ++round_;
  next_ = 0;
  SendNext();
}

void RoundPoller::SendNext() {
  if (next_ >= settings_.addresses.size()) {
    const std::int64_t ended = round_;
    emit roundEnded(ended);
    if (!running_) return;
    if (settings_.rounds > 0 && ended >= settings_.rounds) {
      running_ = false;
      round_timer_.stop();
      emit finished();
    } else if (due_) {
      StartRound();
    }
    return;
  }
  const int address = settings_.addresses[next_];
  Exchange* exchange = link_.Send(settings_.make_request(address), settings_.request);
  in_flight_ = true;
  const std::uint64_t run = run_;
  connect(exchange, &Exchange::finished, this,
          [this, exchange, address, run] { Finished(exchange, address, run); });
  emit requestSent(address);
}

void RoundPoller::Finished(Exchange* exchange, int address, std::uint64_t run) {
  exchange->deleteLater();
  if (run != run_) return;
  if (exchange->result() == ExchangeResult::Cancelled) {
    Stop();  // the link was closed under the rounds: they end with it
    return;
  }
  in_flight_ = false;
  ++next_;
  if (exchange->ok()) {
    emit answered(address, *exchange);
  } else {
    emit missed(address, *exchange);
  }
  if (run != run_) return;  // stopped by whoever heard it
  SendNext();
}

}  // namespace kelvo_link
