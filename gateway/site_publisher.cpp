#include "gateway/site_publisher.h"

#include <algorithm>

namespace kelvo_gateway {
namespace {

constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

}  // namespace

SitePublisher::SitePublisher(MqttSettings settings, std::size_t max_queued, QObject* parent)
    : QObject(parent), queue_(max_queued) {
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
}

void SitePublisher::Start() {
  client_->Start();
}

void SitePublisher::Reconnect(MqttSettings settings) {
  if (client_->isConnected()) {
    int mid = -1;
    client_->Publish(gateway_topic_, kOffline, 1, true, &mid);
  }
  client_->Stop();
  // What the old connection had not got acknowledged goes out again on the new one.
  while (!inflight_.empty()) {
    queue_.PushFront(std::move(inflight_.back().second));
    inflight_.pop_back();
  }
  MakeClient(std::move(settings));
  client_->Start();
}

void SitePublisher::PublishStatus(std::string topic, std::string payload) {
  queue_.Push({std::move(topic), std::move(payload)});
  Pump();
}

void SitePublisher::SetRetained(const std::string& topic, std::string payload) {
  auto [it, inserted] = retained_.insert_or_assign(topic, std::move(payload));
  clear_on_connect_.erase(topic);
  if (client_->isConnected()) client_->Publish(topic, it->second, 1, true);
}

void SitePublisher::ClearRetained(const std::string& topic) {
  retained_.erase(topic);
  if (client_->isConnected() && client_->Publish(topic, std::string(), 1, true)) return;
  clear_on_connect_.insert(topic);
}

void SitePublisher::PublishTransient(const std::string& topic, const std::string& payload) {
  if (client_->isConnected()) client_->Publish(topic, payload, 0, false);
}

void SitePublisher::OnConnected() {
  if (shutting_down_) return;
  client_->Publish(gateway_topic_, kOnline, 1, true);
  for (const std::string& topic : clear_on_connect_) client_->Publish(topic, std::string(), 1, true);
  clear_on_connect_.clear();
  for (const auto& [topic, payload] : retained_) client_->Publish(topic, payload, 1, true);
  emit connectionChanged(true, {});
  Pump();
}

void SitePublisher::OnPublished(int mid) {
  if (goodbye_sent_ && mid == goodbye_mid_) {
    FinishShutdown();
    return;
  }
  const auto acked =
      std::find_if(inflight_.begin(), inflight_.end(), [mid](const auto& m) { return m.first == mid; });
  if (acked == inflight_.end()) return;
  inflight_.erase(acked);
  Pump();
  if (shutting_down_ && queued() == 0) SayGoodbye();
}

void SitePublisher::Pump() {
  while (!goodbye_sent_ && !queue_.empty() && inflight_.size() < MqttClient::kMaxInflight &&
         client_->isConnected()) {
    int mid = -1;
    const OutboundMessage& m = queue_.front();
    if (!client_->Publish(m.topic, m.payload, 1, false, &mid)) return;
    inflight_.emplace_back(mid, std::move(queue_.front()));
    queue_.PopFront();
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
  if (!client_->Publish(gateway_topic_, kOffline, 1, true, &goodbye_mid_)) FinishShutdown();
}

void SitePublisher::FinishShutdown() {
  shutdown_timer_.stop();
  if (stopped_) return;
  stopped_ = true;
  client_->Stop();
  emit stopped();
}

}  // namespace kelvo_gateway
