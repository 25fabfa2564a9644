// Everything the gateway says to the broker: status messages through the
// bounded queue, in order; retained availability and discovery configs kept as
// current state and said again on every (re)connect; stats only while connected.
#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "gateway/outbound_queue.h"
#include "mqtt/mqtt_client.h"
#include "profile/profile.h"
#include "profile/profile_values.h"

namespace kelvo_gateway {

class SitePublisher : public QObject {
  Q_OBJECT
 public:
  // settings.will_topic is the gateway's own availability: "online" on each
  // connect, "offline" as the will and as the goodbye.
  SitePublisher(kelvo_mqtt::MqttSettings settings, std::size_t max_queued, QObject* parent = nullptr);
  ~SitePublisher() override;

  void Start();
  // New broker settings: the old connection says goodbye, queued messages stay.
  void Reconnect(kelvo_mqtt::MqttSettings settings);
  void SetMaxQueued(std::size_t max_queued);

  // Queues `record` for `topic`; its payload is JsonRecord's text of it,
  // with the profile's values and the unit's energy counters when given.
  void PublishStatus(std::shared_ptr<const std::string> topic, kelvo_records::Record record,
                     std::optional<EnergyTotals> energy = std::nullopt);
  void PublishStatus(std::string topic, kelvo_records::Record record) {
    PublishStatus(std::make_shared<const std::string>(std::move(topic)), std::move(record));
  }
  // As PublishStatus, for an answer whose items (null: it does not cut) and
  // values (ApplyProfile's under this publisher's profile; empty for none) the
  // caller has worked out already: a message that goes out soon is written
  // from them at once, one that must wait is held as its answer.
  void PublishAnswer(std::shared_ptr<const std::string> topic, kelvo_records::Record&& record,
                     const codec::FrameItems* items, std::span<const kelvo_profile::ProfileValue> values,
                     std::optional<EnergyTotals> energy);
  // Queues `payload` for `topic` as it is, in order with status messages (QoS 1, not retained).
  void PublishQueued(std::shared_ptr<const std::string> topic, std::string payload);
  // The profile whose values status messages carry; null for none.
  void SetProfile(std::shared_ptr<const kelvo_profile::Profile> profile) { profile_ = std::move(profile); }
  // Retained state: published now when connected, and again on each connect.
  void SetRetained(const std::string& topic, std::string payload);
  // Publishes an empty retained message once (now, or on the next connect) and forgets the topic.
  void ClearRetained(const std::string& topic);
  // Not queued: dropped while the broker is away.
  void PublishTransient(const std::string& topic, const std::string& payload);

  // Gives queued messages up to half of `wait_ms` to reach the broker, publishes
  // the gateway's "offline", waits for the broker to take it (all within
  // `wait_ms`), disconnects, then emits stopped().
  void Shutdown(int wait_ms);

  [[nodiscard]] bool isConnected() const { return client_ && client_->isConnected(); }
  // Status messages held, those in flight to the broker included: at most max_queued.
  [[nodiscard]] std::size_t queued() const { return queue_.size() + inflight_.size(); }
  // Messages the broker never got: pushed out of the full queue, refused by the library, denied by the
  // broker.
  [[nodiscard]] std::uint64_t dropped() const { return queue_.dropped() + lost_; }

 signals:
  void connectionChanged(bool connected, const QString& reason);
  // The first message on `topic` that the broker will never get (the library
  // refuses it, the broker denies it); later ones are only counted.
  void messageLost(const QString& topic, const QString& why);
  // Connected over MQTT 3.1.1, whose acknowledgements cannot tell a denied publish.
  void denialsUnseen();
  void stopped();
  // A message on a subscribed topic (the alarm acknowledgements).
  void received(const QString& topic, const QByteArray& payload, bool retained);

 private:
  void MakeClient(kelvo_mqtt::MqttSettings settings);
  void OnConnected(bool denials_seen);
  void OnPublished(int mid);
  void OnDenied(int mid, const QString& reason);
  // Forgets the status message `mid` in flight; false when it is none.
  bool TakeInflight(int mid);
  // Hands one message outside the queue to the library; false when not connected.
  bool Send(const std::string& topic, const std::string& payload, int qos, bool retain);
  void Lost(const std::string& topic, const QString& why);
  // The payload of a queued message: its text, or `scratch` made from its answer.
  [[nodiscard]] const std::string& Payload(const OutboundMessage& m, std::string& scratch) const;
  // Messages in flight the library may hold at once.
  [[nodiscard]] std::size_t Window() const;
  // Pumps once the event loop is through with what it is doing, so that
  // messages of one pass go to the library together.
  void PumpSoon();
  void Pump();
  void SayGoodbye();
  void FinishShutdown();

  std::unique_ptr<kelvo_mqtt::MqttClient> client_;
  std::shared_ptr<const kelvo_profile::Profile> profile_;
  std::string gateway_topic_;
  OutboundQueue queue_;
  // Status messages the library holds until acknowledged, oldest first: sent
  // again through a new connection if the old one ends without acknowledging them.
  std::deque<std::pair<int, OutboundMessage>> inflight_;
  std::map<int, std::string> other_inflight_;  // retained messages not yet acknowledged, by id
  std::size_t max_queued_;
  static constexpr std::size_t kTrimAfterQueued = 1000;
  std::size_t longest_queue_ = 0;  // since the queue was last empty after a long wait
  std::uint64_t lost_ = 0;
  std::set<std::string> told_;  // topics whose lost messages the log has heard of
  std::map<std::string, std::string> retained_;
  std::set<std::string> clear_on_connect_;
  int goodbye_mid_ = -1;
  bool pump_due_ = false;  // a Pump is queued on the event loop
  bool shutting_down_ = false;
  bool goodbye_sent_ = false;
  bool stopped_ = false;
  QTimer shutdown_timer_;
};

}  // namespace kelvo_gateway
