#include "mqtt/mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <QMetaObject>
#include <chrono>
#include <cstring>

namespace kelvo_mqtt {
namespace {

// libmosquitto's global state, set up once for the process.
struct LibraryInit {
  LibraryInit() { mosquitto_lib_init(); }
  ~LibraryInit() { mosquitto_lib_cleanup(); }
};

QString Reason(int rc) {
  if (rc == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(errno));
  return QString::fromUtf8(mosquitto_strerror(rc));
}

}  // namespace

MqttClient::MqttClient(MqttSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
  static LibraryInit init;
  mosq_ = mosquitto_new(settings_.client_id.c_str(), true, this);
  if (mosq_ == nullptr) {
    setup_error_ = "cannot create an MQTT client";
    return;
  }
  mosquitto_threaded_set(mosq_, true);
  // MQTT 5, for the reason codes that tell a denied publish; 3.1.1 where the broker has no 5.
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_max_inflight_messages_set(mosq_, kMaxInflight);
  mosquitto_connect_callback_set(mosq_, &MqttClient::OnConnect);
  mosquitto_publish_v5_callback_set(mosq_, &MqttClient::OnPublish);
  mosquitto_subscribe_v5_callback_set(mosq_, &MqttClient::OnSubscribe);
  mosquitto_message_v5_callback_set(mosq_, &MqttClient::OnMessage);
  int rc = MOSQ_ERR_SUCCESS;
  if (!settings_.will_topic.empty()) {
    rc = mosquitto_will_set(mosq_, settings_.will_topic.c_str(),
                            static_cast<int>(settings_.will_payload.size()), settings_.will_payload.data(), 1,
                            true);
  }
  if (rc == MOSQ_ERR_SUCCESS && !settings_.username.empty()) {
    rc = mosquitto_username_pw_set(mosq_, settings_.username.c_str(),
                                   settings_.password.empty() ? nullptr : settings_.password.c_str());
  }
  if (rc == MOSQ_ERR_SUCCESS && settings_.tls) {
    if (settings_.ca_file.empty()) {
      rc = mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    } else {
      rc = mosquitto_tls_set(mosq_, settings_.ca_file.c_str(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  if (rc != MOSQ_ERR_SUCCESS) setup_error_ = Reason(rc).toStdString();
}

MqttClient::~MqttClient() {
  stop_ = true;
  stop_wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (mosq_ != nullptr) mosquitto_destroy(mosq_);
}

void MqttClient::Post(auto&& f) {
  QMetaObject::invokeMethod(this, std::forward<decltype(f)>(f), Qt::QueuedConnection);
}

void MqttClient::Start() {
  if (thread_.joinable()) return;
  if (!setup_error_.empty()) {
    const QString reason = QString::fromStdString(setup_error_);
    Post([this, reason] { emit disconnected(reason); });
    return;
  }
  thread_ = std::thread([this] { Run(); });
}

void MqttClient::Stop() {
  if (mosq_ != nullptr && connected_) mosquitto_disconnect(mosq_);
  connected_ = false;
  stop_ = true;
  stop_wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

PublishOutcome MqttClient::Publish(const std::string& topic, const std::string& payload, int qos, bool retain,
                                   int* mid, QString* why) {
  if (!connected_ || mosq_ == nullptr) return PublishOutcome::NotConnected;
  const int rc = mosquitto_publish(mosq_, mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), qos, retain);
  switch (rc) {
    case MOSQ_ERR_SUCCESS: return PublishOutcome::Taken;
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NOMEM: return PublishOutcome::NotConnected;
    default:
      if (why != nullptr) *why = Reason(rc);
      return PublishOutcome::Refused;
  }
}

void MqttClient::OnConnect(mosquitto*, void* self, int rc) {
  auto* client = static_cast<MqttClient*>(self);
  client->connack_ = rc;
  // A new connection has no subscriptions (clean session): ask for them again.
  if (rc == 0 && !client->settings_.subscriptions.empty()) client->Subscribe();
}

void MqttClient::Subscribe() {
  // A filter MQTT forbids would make the library refuse the whole SUBSCRIBE: it is left out and said refused.
  std::vector<char*> filters;
  QStringList refused;
  for (std::string& filter : settings_.subscriptions) {
    if (mosquitto_sub_topic_check(filter.c_str()) == MOSQ_ERR_SUCCESS) {
      filters.push_back(filter.data());
    } else {
      refused << QString::fromStdString(filter);
    }
  }
  subscribe_mid_ = -1;
  subscribe_refused_ = refused;
  if (!filters.empty() &&
      mosquitto_subscribe_multiple(mosq_, &subscribe_mid_, static_cast<int>(filters.size()), filters.data(),
                                   1, 0, nullptr) == MOSQ_ERR_SUCCESS) {
    return;
  }
  subscribe_mid_ = -1;
  for (const char* filter : filters) refused << QString::fromUtf8(filter);
  Post([this, refused] { emit subscribed(refused); });
}

void MqttClient::OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted,
                             const mqtt5__property*) {
  auto* client = static_cast<MqttClient*>(self);
  if (mid != client->subscribe_mid_) return;
  QStringList refused = client->subscribe_refused_;
  int i = 0;
  for (const std::string& filter : client->settings_.subscriptions) {
    if (refused.contains(QString::fromStdString(filter))) continue;
    // Granted QoS 0x80 and up (MQTT 5 reason codes) is a refusal; a missing answer counts as one.
    if (i >= count || granted[i] >= 0x80) refused << QString::fromStdString(filter);
    ++i;
  }
  client->Post([client, refused] { emit client->subscribed(refused); });
}

void MqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* m, const mqtt5__property*) {
  auto* client = static_cast<MqttClient*>(self);
  Incoming incoming{QString::fromUtf8(m->topic),
                    QByteArray(static_cast<const char*>(m->payload), m->payloadlen), m->retain};
  bool first = false;
  {
    std::lock_guard lock(client->incoming_mutex_);
    if (client->incoming_.size() >= client->settings_.max_unread) {
      ++client->unread_dropped_;
      return;
    }
    first = client->incoming_.empty();
    client->incoming_.push_back(std::move(incoming));
  }
  // Messages that come together cross to the owner's thread in one event, posted outside the lock.
  if (first) client->Post([client] { client->DeliverMessages(); });
}

void MqttClient::DeliverMessages() {
  std::vector<Incoming> messages;
  {
    std::lock_guard lock(incoming_mutex_);
    messages.swap(incoming_);
  }
  for (const Incoming& m : messages) emit message(m.topic, m.payload, m.retained);
}

void MqttClient::OnPublish(mosquitto*, void* self, int mid, int reason_code, const mqtt5__property*) {
  auto* client = static_cast<MqttClient*>(self);
  // Acknowledgements that come together cross to the owner's thread in one
  // event, posted outside the lock so that the owner never waits on it while
  // the event is made. An event that finds the list taken already does nothing.
  bool first = false;
  {
    std::lock_guard lock(client->acks_mutex_);
    first = client->acks_.empty();
    client->acks_.push_back({mid, reason_code});
  }
  if (first) client->Post([client] { client->DeliverAcks(); });
}

void MqttClient::DeliverAcks() {
  std::vector<Ack> acks;
  {
    std::lock_guard lock(acks_mutex_);
    acks.swap(acks_);
  }
  for (const Ack& ack : acks) {
    if (ack.reason_code >= 0x80) {
      emit denied(ack.mid, QString::fromUtf8(mosquitto_reason_string(ack.reason_code)));
    } else {
      emit published(ack.mid);
    }
  }
}

bool MqttClient::SleepUnlessStopped(int ms) {
  std::unique_lock lock(stop_mutex_);
  return stop_wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
}

QString MqttClient::LossReason(int rc) const {
  const QString where = QString::fromStdString(settings_.host) + ":" + QString::number(settings_.port);
  QString silent =
      "no answer from the broker within the keepalive of " + QString::number(settings_.keepalive_s) + " s";
  if (connack_ > 0) return QString::fromUtf8(mosquitto_connack_string(connack_));
  if (connack_ < 0) {
    // Before the broker's first answer: say what the operator can act on, not the library's code.
    if (rc == MOSQ_ERR_KEEPALIVE) return silent + ": is " + where + " an MQTT broker?";
    if (settings_.tls) {
      return "the TLS handshake with " + where +
             " failed: not a TLS port (mqtt:// is for a plain one), or a certificate that does not check";
    }
  }
  if (rc == MOSQ_ERR_KEEPALIVE) return silent;
  if (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN) return "connection lost";
  return Reason(rc);
}

void MqttClient::Run() {
  bool have_socket = false;
  bool reported_up = false;
  int retry_ms = 0;
  QString last_reason;
  const auto lost = [&](const QString& reason) {
    have_socket = false;
    if (reported_up || reason != last_reason) {
      Post([this, reason] {
        connected_ = false;
        emit disconnected(reason);
      });
    }
    reported_up = false;
    last_reason = reason;
    retry_ms = retry_ms == 0 ? kFirstRetryMs : std::min(retry_ms * 2, kLongestRetryMs);
  };

  while (!stop_) {
    if (!have_socket) {
      if (retry_ms > 0 && SleepUnlessStopped(retry_ms)) break;
      connack_ = -1;
      // Connecting afresh each time: after a failed TLS handshake the library cannot reconnect.
      const int rc =
          mosquitto_connect_async(mosq_, settings_.host.c_str(), settings_.port, settings_.keepalive_s);
      if (rc != MOSQ_ERR_SUCCESS) {
        lost(Reason(rc));
        continue;
      }
      have_socket = true;
    }
    const int rc = mosquitto_loop(mosq_, 100, 1);
    // Reported only once the loop has returned, so that the library has queued
    // its own resends of unacknowledged messages before ours.
    if (connack_ == 0 && !reported_up) {
      reported_up = true;
      retry_ms = 0;
      last_reason.clear();
      const bool v5 = v5_;
      Post([this, v5] {
        connected_ = true;
        emit connected(v5);
      });
    }
    // A broker without MQTT 5 refuses its CONNECT: 3.1.1 from then on, at once.
    if (v5_ && (connack_ == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION)) {
      v5_ = false;
      mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
      mosquitto_disconnect(mosq_);
      have_socket = false;
      connack_ = -1;
      continue;
    }
    if (rc != MOSQ_ERR_SUCCESS) lost(LossReason(rc));
  }
  // A goodbye already queued by Stop is written before the thread ends.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLastWritesMs);
  while (have_socket && std::chrono::steady_clock::now() < deadline &&
         mosquitto_loop(mosq_, 50, 1) == MOSQ_ERR_SUCCESS) {
  }
}

}  // namespace kelvo_mqtt
