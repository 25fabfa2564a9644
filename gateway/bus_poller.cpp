#include "gateway/bus_poller.h"

#include "codec/request_builder.h"
#include "codec/requests.h"
#include "link/exchange.h"
#include "link/link_client.h"

namespace kelvo_gateway {

BusPoller::BusPoller(BusConfig config, bool identify, QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      identify_(identify),
      link_(new kelvo_link::LinkClient({QString::fromStdString(config_.port), config_.baud}, this)) {
  round_timer_.setInterval(config_.interval_ms);
  round_timer_.setTimerType(Qt::PreciseTimer);
  connect(&round_timer_, &QTimer::timeout, this, &BusPoller::StartRound);
  reopen_timer_.setSingleShot(true);
  reopen_timer_.setInterval(config_.interval_ms);
  connect(&reopen_timer_, &QTimer::timeout, this, [this] {
    if (link_->state() == kelvo_link::LinkClient::State::Closed) link_->Open();
  });

  link_->SetReconnectInterval(config_.interval_ms);
  connect(link_, &kelvo_link::LinkClient::openFailed, this,
          [this](kelvo_link::LinkError, const QString& message) {
            if (message != last_link_note_) emit linkNote(message);
            last_link_note_ = message;
            reopen_timer_.start();
          });
  connect(link_, &kelvo_link::LinkClient::linkLost, this, [this](const QString& message) {
    last_link_note_ = message;
    emit linkNote(message);
  });
  connect(link_, &kelvo_link::LinkClient::stateChanged, this, [this](kelvo_link::LinkClient::State state) {
    if (state == kelvo_link::LinkClient::State::Open && !last_link_note_.isEmpty()) {
      last_link_note_.clear();
      emit linkNote(QString::fromStdString(config_.port) + " open again");
    }
  });
}

BusPoller::~BusPoller() = default;

void BusPoller::Start() {
  link_->Open();
  round_timer_.start();
  StartRound();
}

void BusPoller::StartRound() {
  if (busy_ || !pending_.empty()) {
    // Rounds start start to start; one that overruns delays the next, never doubles it.
    round_due_ = true;
    return;
  }
  for (int address : config_.addresses) pending_.push_back({address, false});
  SendNext();
}

void BusPoller::SendNext() {
  if (busy_) return;
  if (pending_.empty()) {
    if (round_due_) {
      round_due_ = false;
      StartRound();
    }
    return;
  }
  const Request request = pending_.front();
  pending_.pop_front();
  const std::string frame = request.identity
                                ? codec::DeviceInfoRequest(request.address, std::time(nullptr)).frame
                                : codec::StatusRequest(request.address, std::time(nullptr)).frame;
  busy_ = true;
  kelvo_link::Exchange* exchange =
      link_->Send(QByteArray::fromStdString(frame), kelvo_link::RequestOptions{config_.timeout_ms, 0});
  connect(exchange, &kelvo_link::Exchange::finished, this,
          [this, exchange, request] { OnFinished(exchange, request); });
}

void BusPoller::OnFinished(kelvo_link::Exchange* exchange, Request request) {
  exchange->deleteLater();
  busy_ = false;
  if (request.identity) {
    emit identified(request.address, exchange->ok() ? exchange->answer() : QByteArray());
  } else if (exchange->ok()) {
    emit answered(request.address, exchange->answer(), exchange->answeredAt(), exchange->latencyMs());
    if (identify_ && asked_identity_.insert(request.address).second) {
      // Asked right after, before the rest of the round: once per unit.
      pending_.push_front({request.address, true});
    }
  } else if (exchange->result() != kelvo_link::ExchangeResult::Cancelled) {
    emit missed(request.address, exchange->reason());
  }
  SendNext();
}

}  // namespace kelvo_gateway
