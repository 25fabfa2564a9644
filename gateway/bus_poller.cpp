#include "gateway/bus_poller.h"

#include <algorithm>
#include <ctime>

#include "codec/requests.h"
#include "link/exchange.h"
#include "link/link_client.h"
#include "link/round_poller.h"

namespace kelvo_gateway {

using kelvo_link::Exchange;

BusPoller::BusPoller(BusConfig config, bool identify, QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      identify_(identify),
      link_(new kelvo_link::LinkClient({QString::fromStdString(config_.port), config_.baud}, this)) {
  link_->SetReconnectInterval(config_.interval_ms);
  // A link in trouble is told once, then summed up every minute, and "back"
  // once a unit answers again: a server that drops every connection at once
  // must not fill the log.
  connect(link_, &kelvo_link::LinkClient::openFailed, this,
          [this](kelvo_link::LinkError, const QString& message) { Trouble(message); });
  connect(link_, &kelvo_link::LinkClient::linkLost, this,
          [this](const QString& message) { Trouble(message); });
  trouble_summary_.setInterval(kTroubleSummaryMs);
  connect(&trouble_summary_, &QTimer::timeout, this, [this] {
    emit linkNote(QString::fromStdString(config_.port) + " still failing, " + QString::number(attempts_) +
                  " attempts");
  });

  kelvo_link::RoundSettings rounds;
  rounds.addresses = config_.addresses;
  rounds.interval_ms = config_.interval_ms;
  rounds.request = {config_.timeout_ms, 0};
  rounds_ = std::make_unique<kelvo_link::RoundPoller>(*link_, std::move(rounds));
  connect(rounds_.get(), &kelvo_link::RoundPoller::answered, this,
          [this](int address, const Exchange& exchange) {
            if (troubled_) {
              troubled_ = false;
              trouble_summary_.stop();
              emit linkNote(QString::fromStdString(config_.port) + " back: a unit answered after " +
                            QString::number(attempts_) + " failed attempts");
            }
            emit answered(address, exchange.answer(), exchange.answeredAt(), exchange.latencyMs());
            // Asked right after, before the rest of the round: once per unit.
            if (identify_ && asked_identity_.insert(address).second) Identify(address);
          });
  connect(rounds_.get(), &kelvo_link::RoundPoller::requestSent, this, [this](int) {
    if (troubled_) ++attempts_;
    if (rounds_->round() == rounds_seen_) return;
    rounds_seen_ = rounds_->round();
    last_round_start_.start();
    emit roundStarted(link_->state() != kelvo_link::LinkState::Open);
  });
  first_round_.setSingleShot(true);
  connect(&first_round_, &QTimer::timeout, this, [this] { rounds_->Start(); });
  connect(rounds_.get(), &kelvo_link::RoundPoller::roundEnded, this, [this] { emit roundEnded(); });
  connect(rounds_.get(), &kelvo_link::RoundPoller::missed, this,
          [this](int address, const Exchange& exchange) { emit missed(address, exchange.reason()); });
}

// The rounds go before the link they run on.
BusPoller::~BusPoller() {
  rounds_.reset();
}

void BusPoller::Start(int first_round_in_ms) {
  link_->Open();
  if (first_round_in_ms <= 0) {
    rounds_->Start();
  } else {
    first_round_.start(first_round_in_ms);
  }
}

void BusPoller::Trouble(const QString& message) {
  if (troubled_) return;
  troubled_ = true;
  attempts_ = 0;
  trouble_summary_.start();
  emit linkNote(message);
}

int BusPoller::NextRoundInMs(int interval_ms) const {
  if (first_round_.isActive()) return std::min(interval_ms, static_cast<int>(first_round_.remainingTime()));
  if (!last_round_start_.isValid()) return 0;
  const qint64 since = last_round_start_.elapsed();
  return since >= interval_ms ? 0 : static_cast<int>(interval_ms - since);
}

void BusPoller::Identify(int address) {
  const codec::BuiltRequest request = codec::DeviceInfoRequest(address, std::time(nullptr));
  Exchange* exchange = rounds_->Ask(QByteArray::fromStdString(request.frame), {config_.timeout_ms, 0});
  connect(exchange, &Exchange::finished, this, [this, exchange, address] {
    exchange->deleteLater();
    emit identified(address, exchange->ok() ? exchange->answer() : QByteArray());
  });
}

}  // namespace kelvo_gateway
