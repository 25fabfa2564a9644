// One connection to the broker through libmosquitto. The network runs on a
// thread of its own (connect, TLS, keepalive, reconnect with backoff), so a slow
// or absent broker never holds up polling; everything it reports arrives as
// signals on the owner's event loop.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;  // NOLINT(bugprone-reserved-identifier): libmosquitto names it so

namespace kelvo_mqtt {

struct MqttSettings {
  std::string host;
  int port = 1883;
  bool tls = false;
  std::string ca_file;  // empty with tls: the system's certificates
  std::string client_id;
  std::string username;
  std::string password;
  int keepalive_s = 30;
  std::string will_topic;  // retained, QoS 1, when the connection dies without a goodbye
  std::string will_payload;
  // Topic filters subscribed with QoS 1 on every connect; none: a client that only publishes.
  std::vector<std::string> subscriptions;
  // Received messages waiting for the owner's loop; past that, new ones are dropped and counted.
  std::size_t max_unread = 100000;

  bool operator==(const MqttSettings&) const = default;
};

// What became of a message handed to Publish.
enum class PublishOutcome {
  Taken,         // the library has it and sends it
  NotConnected,  // nothing kept: try again once connected
  Refused,       // the library will never send it (a topic or payload MQTT forbids)
};

class MqttClient : public QObject {
  Q_OBJECT
 public:
  // Unacknowledged QoS 1 messages the library keeps and sends again after a
  // reconnect; small, since a stalled broker holds them and they cannot be dropped.
  static constexpr int kMaxInflight = 20;
  // Waits between connection attempts: doubling from the first, never above the last.
  static constexpr int kFirstRetryMs = 500;
  static constexpr int kLongestRetryMs = 5000;
  // How long Stop lets the network thread write a goodbye already queued.
  static constexpr int kLastWritesMs = 400;

  explicit MqttClient(MqttSettings settings, QObject* parent = nullptr);
  ~MqttClient() override;  // stops the network thread without a goodbye

  // Starts connecting; tries again after every failure or loss until Stop.
  void Start();
  // Says goodbye (the broker drops the will) and ends the network thread, within kLastWritesMs and a loop.
  void Stop();

  [[nodiscard]] bool isConnected() const { return connected_; }
  // Hands a message to the library while connected. `mid` gets the message id
  // that published() or denied() reports; `why` the library's reason for a refusal.
  PublishOutcome Publish(const std::string& topic, const std::string& payload, int qos, bool retain,
                         int* mid = nullptr, QString* why = nullptr);
  // Messages dropped because the owner's loop had max_unread waiting.
  [[nodiscard]] std::uint64_t unreadDropped() const { return unread_dropped_; }

 Q_SIGNALS:
  // `denials_seen`: the broker speaks MQTT 5, whose acknowledgements say when it denies a publish.
  void connected(bool denials_seen);
  void disconnected(const QString& reason);
  // QoS 1: the broker acknowledged `mid`; QoS 0: it was written.
  void published(int mid);
  // QoS 1 over MQTT 5: the broker refused `mid` (an ACL, a quota), with its reason.
  void denied(int mid, const QString& reason);
  // The broker answered the subscriptions made on connecting (after each
  // connected()); `refused` holds the filters it did not grant.
  void subscribed(const QStringList& refused);
  // A message on a subscribed topic; `retained`: the broker kept it from before the subscription.
  void message(const QString& topic, const QByteArray& payload, bool retained);

 private:
  static void OnConnect(mosquitto*, void* self, int rc);
  static void OnPublish(mosquitto*, void* self, int mid, int reason_code, const struct mqtt5__property*);
  static void OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted,
                          const struct mqtt5__property*);
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* m, const struct mqtt5__property*);
  void Subscribe();
  void Run();
  void DeliverAcks();
  void DeliverMessages();
  // Why the connection ended (`rc` from the library's loop), in the operator's terms.
  [[nodiscard]] QString LossReason(int rc) const;
  bool SleepUnlessStopped(int ms);
  void Post(auto&& f);

  MqttSettings settings_;
  mosquitto* mosq_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex stop_mutex_;
  std::condition_variable stop_wake_;
  bool connected_ = false;      // on the owner's thread
  int connack_ = -1;            // on the network thread: the last CONNACK code seen
  std::atomic<bool> v5_{true};  // MQTT 5 until a broker says it speaks only 3.1.1
  std::string setup_error_;
  struct Ack {
    int mid;
    int reason_code;
  };
  std::mutex acks_mutex_;
  std::vector<Ack> acks_;          // from the network thread, not yet delivered
  int subscribe_mid_ = -1;         // on the network thread: the SUBSCRIBE of this connection
  QStringList subscribe_refused_;  // on the network thread: filters left out of it
  struct Incoming {
    QString topic;
    QByteArray payload;
    bool retained;
  };
  std::mutex incoming_mutex_;
  std::vector<Incoming> incoming_;  // from the network thread, not yet delivered
  std::atomic<std::uint64_t> unread_dropped_{0};
};

}  // namespace kelvo_mqtt
