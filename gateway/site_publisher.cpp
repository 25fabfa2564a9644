#include "gateway/site_publisher.h"

#include <malloc.h>

#include <algorithm>

#include "records/record_writer.h"

namespace kelvo_gateway {

using kelvo_mqtt::MqttClient;
using kelvo_mqtt::MqttSettings;
using kelvo_mqtt::PublishOutcome;
namespace {

constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";
// Energy counters go to the Wh's thousandth.
constexpr int kEnergyDecimals = 3;
// Status messages written ahead while they wait for the window: a burst of
// answers in one pass of the event loop, or acknowledgements a moment late.
constexpr std::size_t kWrittenAhead = 64;

}  // namespace

SitePublisher::SitePublisher(MqttSettings settings, std::size_t max_queued, QObject* parent)
    : QObject(parent), queue_(max_queued), max_queued_(max_queued == 0 ? 1 : max_queued) {
  shutdown_timer_.setSingleShot(true);
  connect(&shutdown_timer_, &QTimer::timeout, this, &SitePublisher::FinishShutdown);
  MakeClient(std::move(settings));
}

SitePublisher::~SitePublisher() = default;

void SitePublisher::MakeClient(MqttSettings settings) {
  gateway_topic_ = settings.will_topic;
  settings.will_payload = kOffline;
  client_ = std::make_unique<MqttClient>(std::move(settings));
  connect(client_.get(), &MqttClient::connected, this, &SitePublisher::OnConnected);
  connect(client_.get(), &MqttClient::disconnected, this,
          [this](const QString& reason) { emit connectionChanged(false, reason); });
  connect(client_.get(), &MqttClient::published, this, &SitePublisher::OnPublished);
  connect(client_.get(), &MqttClient::denied, this, &SitePublisher::OnDenied);
  connect(client_.get(), &MqttClient::message, this, &SitePublisher::received);
}

void SitePublisher::Start() {
  client_->Start();
}

void SitePublisher::Reconnect(MqttSettings settings) {
  if (client_->isConnected()) client_->Publish(gateway_topic_, kOffline, 1, true);
  client_->Stop();
  // What the old connection had not got acknowledged goes out again on the new one.
  while (!inflight_.empty()) {
    OutboundMessage message = std::move(inflight_.back().second);
    inflight_.pop_back();
    queue_.SetTakenOut(inflight_.size());
    queue_.PushFront(std::move(message));
  }
  other_inflight_.clear();
  MakeClient(std::move(settings));
  client_->Start();
}

void SitePublisher::SetMaxQueued(std::size_t max_queued) {
  max_queued_ = max_queued == 0 ? 1 : max_queued;
  queue_.SetCapacity(max_queued_);
}

void SitePublisher::PublishStatus(std::shared_ptr<const std::string> topic, kelvo_records::Record record,
                                  std::optional<EnergyTotals> energy) {
  queue_.Push({std::move(topic), StatusBody{std::move(record), energy}});
  PumpSoon();
}

void SitePublisher::PublishAnswer(std::shared_ptr<const std::string> topic, kelvo_records::Record&& record,
                                  const codec::FrameItems* items,
                                  std::span<const kelvo_profile::ProfileValue> values,
                                  std::optional<EnergyTotals> energy) {
  // Written now only while the broker takes messages as they come, so that a
  // queue waiting for it holds answers (a few hundred bytes), not texts: at
  // most kWrittenAhead texts wait behind the window.
  if (!client_->isConnected() || goodbye_sent_ || queue_.size() >= kWrittenAhead) {
    PublishStatus(std::move(topic), std::move(record), energy);
    return;
  }
  std::string payload;
  if (energy) {
    const kelvo_records::AddedValue added[] = {{"energy_charged", energy->charged_wh, kEnergyDecimals},
                                               {"energy_discharged", energy->discharged_wh, kEnergyDecimals}};
    payload = kelvo_records::JsonRecord(record, items, values, added);
  } else {
    payload = kelvo_records::JsonRecord(record, items, values, {});
  }
  PublishQueued(std::move(topic), std::move(payload));
}

void SitePublisher::PublishQueued(std::shared_ptr<const std::string> topic, std::string payload) {
  queue_.Push({std::move(topic), std::move(payload)});
  PumpSoon();
}

void SitePublisher::PumpSoon() {
  longest_queue_ = std::max(longest_queue_, queue_.size());
  // Answers that arrive in one pass of the event loop go to the library
  // together, so that its network thread wakes once for them.
  if (pump_due_) return;
  pump_due_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        pump_due_ = false;
        Pump();
      },
      Qt::QueuedConnection);
}

bool SitePublisher::Send(const std::string& topic, const std::string& payload, int qos, bool retain) {
  int mid = -1;
  QString why;
  switch (client_->Publish(topic, payload, qos, retain, &mid, &why)) {
    case PublishOutcome::Taken:
      if (qos > 0) other_inflight_[mid] = topic;
      return true;
    case PublishOutcome::NotConnected: return false;
    case PublishOutcome::Refused:
      Lost(topic, "the MQTT library refuses it: " + why);
      return true;  // done with: sending it again would fail again
  }
  return false;
}

void SitePublisher::Lost(const std::string& topic, const QString& why) {
  ++lost_;
  if (told_.insert(topic).second) {
    emit messageLost(QString::fromStdString(topic.size() > 200 ? topic.substr(0, 200) + "..." : topic), why);
  }
}

void SitePublisher::SetRetained(const std::string& topic, std::string payload) {
  auto [it, inserted] = retained_.insert_or_assign(topic, std::move(payload));
  clear_on_connect_.erase(topic);
  if (client_->isConnected()) Send(topic, it->second, 1, true);
}

void SitePublisher::ClearRetained(const std::string& topic) {
  retained_.erase(topic);
  if (client_->isConnected() && Send(topic, std::string(), 1, true)) return;
  clear_on_connect_.insert(topic);
}

void SitePublisher::PublishTransient(const std::string& topic, const std::string& payload) {
  if (client_->isConnected()) Send(topic, payload, 0, false);
}

void SitePublisher::OnConnected(bool denials_seen) {
  if (shutting_down_) return;
  Send(gateway_topic_, kOnline, 1, true);
  for (const std::string& topic : clear_on_connect_) Send(topic, std::string(), 1, true);
  clear_on_connect_.clear();
  for (const auto& [topic, payload] : retained_) Send(topic, payload, 1, true);
  emit connectionChanged(true, {});
  if (!denials_seen) emit denialsUnseen();
  Pump();
}

void SitePublisher::OnPublished(int mid) {
  if (goodbye_sent_ && mid == goodbye_mid_) {
    FinishShutdown();
    return;
  }
  other_inflight_.erase(mid);
  if (!TakeInflight(mid)) return;
  Pump();
  if (shutting_down_ && queued() == 0) SayGoodbye();
}

void SitePublisher::OnDenied(int mid, const QString& reason) {
  if (goodbye_sent_ && mid == goodbye_mid_) {
    FinishShutdown();
    return;
  }
  if (const auto other = other_inflight_.find(mid); other != other_inflight_.end()) {
    Lost(other->second, "the broker denies it: " + reason);
    other_inflight_.erase(other);
    return;
  }
  const auto denied =
      std::find_if(inflight_.begin(), inflight_.end(), [mid](const auto& m) { return m.first == mid; });
  if (denied == inflight_.end()) return;
  Lost(*denied->second.topic, "the broker denies it: " + reason);
  TakeInflight(mid);
  Pump();
  if (shutting_down_ && queued() == 0) SayGoodbye();
}

bool SitePublisher::TakeInflight(int mid) {
  const auto found =
      std::find_if(inflight_.begin(), inflight_.end(), [mid](const auto& m) { return m.first == mid; });
  if (found == inflight_.end()) return false;
  inflight_.erase(found);
  queue_.SetTakenOut(inflight_.size());
  return true;
}

const std::string& SitePublisher::Payload(const OutboundMessage& m, std::string& scratch) const {
  if (const auto* text = std::get_if<std::string>(&m.body)) return *text;
  const StatusBody& status = std::get<StatusBody>(m.body);
  if (!status.energy) {
    scratch = kelvo_records::JsonRecord(status.record, profile_.get());
    return scratch;
  }
  const kelvo_records::AddedValue energy[] = {
      {"energy_charged", status.energy->charged_wh, kEnergyDecimals},
      {"energy_discharged", status.energy->discharged_wh, kEnergyDecimals}};
  scratch = kelvo_records::JsonRecord(status.record, profile_.get(), energy);
  return scratch;
}

std::size_t SitePublisher::Window() const {
  // The window never takes the whole bound, so that a new message always has room to wait.
  return std::min<std::size_t>(MqttClient::kMaxInflight, std::max<std::size_t>(1, max_queued_ / 2));
}

void SitePublisher::Pump() {
  const std::size_t window = Window();
  std::string scratch;
  while (!goodbye_sent_ && !queue_.empty() && inflight_.size() < window && client_->isConnected()) {
    int mid = -1;
    const OutboundMessage& m = queue_.front();
    QString why;
    switch (client_->Publish(*m.topic, Payload(m, scratch), 1, false, &mid, &why)) {
      case PublishOutcome::NotConnected: return;
      case PublishOutcome::Refused:
        // Dropped, never retried: it would block every message behind it for ever.
        Lost(*m.topic, "the MQTT library refuses it: " + why);
        queue_.PopFront();
        break;
      case PublishOutcome::Taken:
        inflight_.emplace_back(mid, std::move(queue_.front()));
        queue_.PopFront();
        queue_.SetTakenOut(inflight_.size());
        break;
    }
  }
  if (queue_.empty() && longest_queue_ >= kTrimAfterQueued) {
    // A long outage's messages are freed in scattered pieces that the allocator
    // would keep: give them back to the system.
    longest_queue_ = 0;
    malloc_trim(0);
  }
}

void SitePublisher::Shutdown(int wait_ms) {
  if (shutting_down_) return;
  shutting_down_ = true;
  if (!client_->isConnected()) {
    // No broker to say goodbye to: the will says it if the last connection is still open.
    QMetaObject::invokeMethod(this, &SitePublisher::FinishShutdown, Qt::QueuedConnection);
    return;
  }
  shutdown_timer_.start(wait_ms);
  // What is queued gets half the time to reach the broker before the goodbye.
  QTimer::singleShot(wait_ms / 2, this, &SitePublisher::SayGoodbye);
  if (queued() == 0) SayGoodbye();
}

void SitePublisher::SayGoodbye() {
  if (goodbye_sent_) return;
  goodbye_sent_ = true;
  if (client_->Publish(gateway_topic_, kOffline, 1, true, &goodbye_mid_) != PublishOutcome::Taken) {
    FinishShutdown();
  }
}

void SitePublisher::FinishShutdown() {
  shutdown_timer_.stop();
  if (stopped_) return;
  stopped_ = true;
  client_->Stop();
  emit stopped();
}

}  // namespace kelvo_gateway
