#include "mqtt_harness.h"

#include <mosquitto.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

namespace kelvo_gateway_test {

bool WaitFor(const std::function<bool()>& done, int ms) {
  const QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

int FreePort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost, 0);
  return server.serverPort();
}

Broker::Broker(bool persistence, const std::string& acl) : port_(FreePort()) {
  QFile config(dir_.filePath("mosquitto.conf"));
  config.open(QIODevice::WriteOnly);
  // Run as root, mosquitto becomes the mosquitto user, who must be able to save its state here.
  QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                         QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                         QFileDevice::WriteOther | QFileDevice::ExeOther);
  std::string text = "listener " + std::to_string(port_) +
                     " 127.0.0.1\nallow_anonymous true\nlog_type error\nlog_type warning\n";
  text += persistence ? "persistence true\npersistence_location " + dir_.path().toStdString() + "/\n"
                      : "persistence false\n";
  if (!acl.empty()) {
    QFile acl_file(dir_.filePath("acl"));
    acl_file.open(QIODevice::WriteOnly);
    acl_file.write(acl.c_str());
    acl_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    text += "acl_file " + dir_.filePath("acl").toStdString() + "\n";
  }
  config.write(text.c_str());
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

Broker::~Broker() {
  Stop();
}

bool Broker::Start() {
  process_.start("mosquitto", {"-c", dir_.filePath("mosquitto.conf")});
  if (!process_.waitForStarted(5000)) return false;
  // Ready when it takes a connection.
  return WaitFor([this] {
           if (process_.state() == QProcess::NotRunning) return true;
           QTcpSocket probe;
           probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port_));
           WaitFor(
               [&] {
                 return probe.state() != QAbstractSocket::ConnectingState &&
                        probe.state() != QAbstractSocket::HostLookupState;
               },
               1000);
           return probe.state() == QAbstractSocket::ConnectedState;
         }) &&
         process_.state() == QProcess::Running;
}

void Broker::Stop() {
  if (process_.state() == QProcess::NotRunning) return;
  Resume();  // a paused broker would hold the SIGTERM
  process_.terminate();
  WaitFor([this] { return process_.state() == QProcess::NotRunning; }, 5000);
}

void Broker::Pause() {
  ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP);
}

void Broker::Resume() {
  ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
}

Subscriber::Subscriber(int port, const std::string& filter, const std::string& session) : filter_(filter) {
  mosquitto_lib_init();
  mosq_ = mosquitto_new(session.empty() ? nullptr : session.c_str(), session.empty(), this);
  mosquitto_message_callback_set(mosq_, &Subscriber::OnMessage);
  mosquitto_subscribe_callback_set(mosq_, &Subscriber::OnSubscribe);
  mosquitto_connect_callback_set(mosq_, &Subscriber::OnConnect);
  mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
  mosquitto_connect_async(mosq_, "127.0.0.1", port, 30);
  mosquitto_loop_start(mosq_);
}

Subscriber::~Subscriber() {
  mosquitto_disconnect(mosq_);
  mosquitto_loop_stop(mosq_, false);
  mosquitto_destroy(mosq_);
}

void Subscriber::OnConnect(mosquitto* mosq, void* self, int rc) {
  if (rc == 0) mosquitto_subscribe(mosq, nullptr, static_cast<Subscriber*>(self)->filter_.c_str(), 1);
}

void Subscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
  auto* s = static_cast<Subscriber*>(self);
  std::lock_guard lock(s->mutex_);
  s->subscribed_ = true;
}

void Subscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
  auto* s = static_cast<Subscriber*>(self);
  std::lock_guard lock(s->mutex_);
  s->messages_.push_back(
      {m->topic, std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen)),
       m->retain});
}

bool Subscriber::subscribed() const {
  std::lock_guard lock(mutex_);
  return subscribed_;
}

std::vector<Message> Subscriber::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<Message> Subscriber::On(const std::string& topic) const {
  std::lock_guard lock(mutex_);
  std::vector<Message> out;
  for (const Message& m : messages_) {
    if (m.topic == topic) out.push_back(m);
  }
  return out;
}

std::string Subscriber::Last(const std::string& topic) const {
  const std::vector<Message> all = On(topic);
  return all.empty() ? std::string() : all.back().payload;
}

void Subscriber::Clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
}

Publisher::Publisher(int port) {
  mosquitto_lib_init();
  mosq_ = mosquitto_new(nullptr, true, this);
  mosquitto_publish_callback_set(mosq_, &Publisher::OnPublish);
  mosquitto_connect(mosq_, "127.0.0.1", port, 30);
  mosquitto_loop_start(mosq_);
}

Publisher::~Publisher() {
  mosquitto_disconnect(mosq_);
  mosquitto_loop_stop(mosq_, false);
  mosquitto_destroy(mosq_);
}

void Publisher::OnPublish(mosquitto*, void* self, int mid) {
  auto* p = static_cast<Publisher*>(self);
  std::lock_guard lock(p->mutex_);
  p->acked_.push_back(mid);
}

bool Publisher::Publish(const std::string& topic, const std::string& payload, bool retain) {
  int mid = 0;
  if (mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1,
                        retain) != MOSQ_ERR_SUCCESS) {
    return false;
  }
  return WaitFor(
      [&] {
        std::lock_guard lock(mutex_);
        return std::find(acked_.begin(), acked_.end(), mid) != acked_.end();
      },
      5000);
}

}  // namespace kelvo_gateway_test
