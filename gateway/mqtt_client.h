// One connection to the broker through libmosquitto. The network runs on a
// thread of its own (connect, TLS, keepalive, reconnect with backoff), so a slow
// or absent broker never holds up polling; everything it reports arrives as
// signals on the owner's event loop.
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;

namespace kelvo_gateway {

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

  bool operator==(const MqttSettings&) const = default;
};

class MqttClient : public QObject {
  Q_OBJECT
 public:
  // Unacknowledged QoS 1 messages the library keeps and sends again after a reconnect.
  static constexpr int kMaxInflight = 100;
  // Waits between connection attempts: doubling from the first, never above the last.
  static constexpr int kFirstRetryMs = 500;
  static constexpr int kLongestRetryMs = 5000;

  explicit MqttClient(MqttSettings settings, QObject* parent = nullptr);
  ~MqttClient() override;  // stops the network thread without a goodbye

  // Starts connecting; tries again after every failure or loss until Stop.
  void Start();
  // Says goodbye (the broker drops the will) and ends the network thread, within about a second.
  void Stop();

  [[nodiscard]] bool isConnected() const { return connected_; }
  // Hands a message to the library while connected; false (nothing kept) when not,
  // or when the library refuses it. `mid` gets the message id that published() reports.
  bool Publish(const std::string& topic, const std::string& payload, int qos, bool retain,
               int* mid = nullptr);

 signals:
  void connected();
  void disconnected(const QString& reason);
  // QoS 1: the broker acknowledged `mid`; QoS 0: it was written.
  void published(int mid);

 private:
  static void OnConnect(mosquitto*, void* self, int rc);
  static void OnPublish(mosquitto*, void* self, int mid);
  void Run();
  bool SleepUnlessStopped(int ms);
  void Post(auto&& f);

  MqttSettings settings_;
  mosquitto* mosq_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex stop_mutex_;
  std::condition_variable stop_wake_;
  bool connected_ = false;  // on the owner's thread
  int connack_ = -1;        // on the network thread: the last CONNACK code seen
  std::string setup_error_;
};

}  // namespace kelvo_gateway
