// A real mosquitto broker on a free loopback port, and a subscriber that keeps
// every message it receives, for the tests of every program that talks to a
// broker (the namespace is named for the gateway, its first user).
#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace kelvo_gateway_test {

// Runs the event loop until `done` holds; false when `ms` pass first.
bool WaitFor(const std::function<bool()>& done, int ms = 10000);

// A loopback TCP port nobody listens on at the moment.
int FreePort();

// mosquitto with a configuration of its own in a scratch folder. With
// persistence, sessions and queued messages survive a restart; with an `acl`
// (mosquitto's acl_file text), anonymous clients get only what it grants.
class Broker {
 public:
  explicit Broker(bool persistence = false, const std::string& acl = {});
  ~Broker();
  // Starts it and waits until it accepts connections; false when it does not.
  bool Start();
  void Stop();  // SIGTERM, and waits for it to end (it saves its state then)
  // SIGSTOP and SIGCONT: a broker that holds its connections open and answers nothing.
  void Pause();
  void Resume();
  [[nodiscard]] int port() const { return port_; }
  [[nodiscard]] std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

 private:
  QTemporaryDir dir_;
  int port_;
  QProcess process_;
};

struct Message {
  std::string topic;
  std::string payload;
  bool retain = false;
};

// Subscribes to `filter` with QoS 1. With a fixed `session`, a persistent
// session: the broker keeps what arrives while the subscriber is away.
class Subscriber {
 public:
  Subscriber(int port, const std::string& filter, const std::string& session = {});
  ~Subscriber();
  [[nodiscard]] bool subscribed() const;

  [[nodiscard]] std::vector<Message> Messages() const;
  [[nodiscard]] std::vector<Message> On(const std::string& topic) const;
  [[nodiscard]] std::size_t Count(const std::string& topic) const { return On(topic).size(); }
  // The last payload on `topic`, "" when none.
  [[nodiscard]] std::string Last(const std::string& topic) const;
  void Clear();

 private:
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* m);
  static void OnSubscribe(mosquitto*, void* self, int, int, const int*);
  static void OnConnect(mosquitto*, void* self, int rc);

  mosquitto* mosq_;
  std::string filter_;
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
  bool subscribed_ = false;
};

// Publishes as another client would; each Publish waits for the broker's acknowledgement.
class Publisher {
 public:
  explicit Publisher(int port);
  ~Publisher();
  // False when the broker has not acknowledged it within 5 s.
  bool Publish(const std::string& topic, const std::string& payload, bool retain = false);

 private:
  static void OnPublish(mosquitto*, void* self, int mid);

  mosquitto* mosq_;
  mutable std::mutex mutex_;
  std::vector<int> acked_;
};

}  // namespace kelvo_gateway_test
