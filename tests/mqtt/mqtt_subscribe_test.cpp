// The client's subscriptions against a real mosquitto: what the broker
// refuses is named, retained messages are told from live ones, and a new
// connection subscribes again by itself.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <string>
#include <vector>

#include "mqtt/mqtt_client.h"
#include "mqtt_harness.h"

namespace {

using kelvo_gateway_test::Broker;
using kelvo_gateway_test::Publisher;
using kelvo_gateway_test::WaitFor;
using kelvo_mqtt::MqttClient;
using kelvo_mqtt::MqttSettings;

struct Received {
  std::string topic;
  std::string payload;
  bool retained;
};

// A subscribing client, with everything it reports noted.
struct Listening {
  Listening(const Broker& broker, std::vector<std::string> filters) : client(Settings(broker, filters)) {
    QObject::connect(&client, &MqttClient::subscribed, [this](const QStringList& refused) {
      ++subacks;
      last_refused = refused;
    });
    QObject::connect(&client, &MqttClient::message,
                     [this](const QString& topic, const QByteArray& payload, bool retained) {
                       got.push_back({topic.toStdString(), payload.toStdString(), retained});
                     });
    client.Start();
  }
  static MqttSettings Settings(const Broker& broker, std::vector<std::string> filters) {
    MqttSettings s;
    s.host = "127.0.0.1";
    s.port = broker.port();
    s.client_id = "subscribe-test";
    s.subscriptions = std::move(filters);
    return s;
  }
  MqttClient client;
  int subacks = 0;
  QStringList last_refused;
  std::vector<Received> got;
};

// A filter MQTT forbids is refused alone; the others still hold.
TEST(MqttSubscribe, RefusedFiltersAreNamedAndRetainedMessagesMarked) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Publisher pub(broker.port());
  ASSERT_TRUE(pub.Publish("site/a/state", "kept", true));

  Listening l(broker, {"site/#/state", "site/+/state"});
  ASSERT_TRUE(WaitFor([&] { return l.subacks == 1; }));
  EXPECT_EQ(l.last_refused, QStringList{"site/#/state"});
  ASSERT_TRUE(WaitFor([&] { return l.got.size() == 1; }));
  ASSERT_TRUE(pub.Publish("site/b/state", std::string("live\0byte", 9)));
  ASSERT_TRUE(WaitFor([&] { return l.got.size() == 2; }));

  EXPECT_EQ(l.got[0].topic, "site/a/state");
  EXPECT_EQ(l.got[0].payload, "kept");
  EXPECT_TRUE(l.got[0].retained);
  EXPECT_EQ(l.got[1].topic, "site/b/state");
  EXPECT_EQ(l.got[1].payload, std::string("live\0byte", 9));  // binary payloads pass whole
  EXPECT_FALSE(l.got[1].retained);
}

// A broker restarted without persistence has forgotten the subscriptions:
// the client makes them again, and what is published then arrives.
TEST(MqttSubscribe, SubscribesAgainAfterReconnecting) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Listening l(broker, {"site/#"});
  ASSERT_TRUE(WaitFor([&] { return l.subacks == 1; }));
  EXPECT_TRUE(l.last_refused.isEmpty());

  broker.Stop();
  ASSERT_TRUE(WaitFor([&] { return !l.client.isConnected(); }));
  ASSERT_TRUE(broker.Start());
  ASSERT_TRUE(WaitFor([&] { return l.subacks == 2; }, 15000));
  Publisher pub(broker.port());
  ASSERT_TRUE(pub.Publish("site/after", "restart"));
  ASSERT_TRUE(WaitFor([&] { return l.got.size() == 1; }));
  EXPECT_EQ(l.got[0].topic, "site/after");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
