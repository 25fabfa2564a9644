// The publisher against a real mosquitto, in process: what happens to
// messages the library refuses, the broker denies, or a stalled broker holds.
#include "gateway/site_publisher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "codec/frame_breakdown.h"
#include "mqtt_harness.h"
#include "profile/profile.h"
#include "profile/profile_values.h"
#include "records/record_writer.h"

namespace kelvo_gateway_test {
namespace {

using kelvo_gateway::SitePublisher;
using kelvo_mqtt::MqttSettings;

MqttSettings Settings(const Broker& broker) {
  MqttSettings settings;
  settings.host = "127.0.0.1";
  settings.port = broker.port();
  settings.client_id = "publisher-test";
  settings.will_topic = "site/gateway/availability";
  return settings;
}

// A status answer marked by `frame` (no real frame: its items come out empty).
kelvo_records::Record Answer(const std::string& frame) {
  return {std::chrono::system_clock::now(), 1, frame, 1.0};
}

std::string FrameIn(const std::string& payload) {
  return nlohmann::json::parse(payload).at("frame").get<std::string>();
}

// A connected publisher, with every message it reports lost noted by topic.
struct Connected {
  Connected(const Broker& broker, std::size_t max_queued) : publisher(Settings(broker), max_queued) {
    QObject::connect(&publisher, &SitePublisher::messageLost,
                     [this](const QString& topic, const QString& why) {
                       lost[topic.toStdString()].push_back(why.toStdString());
                     });
    publisher.Start();
  }
  SitePublisher publisher;
  std::map<std::string, std::vector<std::string>> lost;
};

// Topics the library will not send: each dropped and counted, said once,
// never holding up the messages behind it.
TEST(GatewayPublisher, RefusedTopicIsDroppedNotRetried) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  Connected c(broker, 100);
  ASSERT_TRUE(WaitFor([&] { return c.publisher.isConnected(); }));

  const std::vector<std::string> refused = {
      "site/" + std::string(65600, 'n') + "/1/status",  // longer than MQTT allows
      "site/a+b/1/status",                              // a wildcard
      "site/\xFF/1/status",                             // no UTF-8
  };
  for (const std::string& topic : refused) {
    c.publisher.PublishStatus(topic, Answer("first"));
    c.publisher.PublishStatus(topic, Answer("second"));
  }
  c.publisher.PublishStatus("site/ok/1/status", Answer("behind them"));
  ASSERT_TRUE(WaitFor([&] { return sub.Count("site/ok/1/status") == 1; }));
  EXPECT_EQ(c.publisher.dropped(), 6u);
  EXPECT_EQ(c.publisher.queued(), 0u);
  EXPECT_EQ(c.lost.size(), 3u);
  for (const auto& [topic, whys] : c.lost) {
    EXPECT_EQ(whys.size(), 1u) << topic;
    EXPECT_NE(whys.front().find("refuses"), std::string::npos) << whys.front();
  }
}

// An ACL denial comes back in the MQTT 5 acknowledgement: counted, said once per topic.
TEST(GatewayPublisher, DeniedPublishesAreCountedAndSaidOnce) {
  Broker broker(false, "topic read #\ntopic write site/ok/#\ntopic write site/gateway/#\n");
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  Connected c(broker, 100);
  bool unseen = false;
  QObject::connect(&c.publisher, &SitePublisher::denialsUnseen, [&] { unseen = true; });
  ASSERT_TRUE(WaitFor([&] { return c.publisher.isConnected(); }));

  for (int i = 0; i < 3; ++i) c.publisher.PublishStatus("site/closed/1/status", Answer("denied"));
  c.publisher.SetRetained("site/closed/1/availability", "online");
  c.publisher.PublishStatus("site/ok/1/status", Answer("allowed"));
  // The subscriber may hear the allowed message before its acknowledgement
  // has come back and emptied the queue.
  ASSERT_TRUE(WaitFor([&] {
    return c.publisher.dropped() == 4u && sub.Count("site/ok/1/status") == 1 && c.publisher.queued() == 0u;
  })) << c.publisher.dropped()
      << " dropped, " << c.publisher.queued() << " queued";
  EXPECT_EQ(sub.Count("site/closed/1/status"), 0u);
  ASSERT_EQ(c.lost.size(), 2u);
  for (const char* topic : {"site/closed/1/status", "site/closed/1/availability"}) {
    ASSERT_EQ(c.lost[topic].size(), 1u) << topic;
    EXPECT_NE(c.lost[topic].front().find("the broker denies it: Not authorized"), std::string::npos)
        << c.lost[topic].front();
  }
  EXPECT_FALSE(unseen);
}

// A broker that stops answering with its connection open: the bound counts
// what the library holds in flight, and what goes is the oldest waiting.
TEST(GatewayPublisher, StalledBrokerKeepsTheBoundAndDropsTheOldestWaiting) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  constexpr std::size_t kMaxQueued = 50;
  Connected c(broker, kMaxQueued);
  ASSERT_TRUE(WaitFor([&] { return c.publisher.isConnected(); }));

  broker.Pause();
  for (int i = 0; i < 200; ++i) {
    c.publisher.PublishStatus("site/q/1/status", Answer(std::to_string(i)));
    QCoreApplication::processEvents();
    ASSERT_LE(c.publisher.queued(), kMaxQueued) << "after message " << i;
  }
  EXPECT_EQ(c.publisher.queued(), kMaxQueued);
  EXPECT_EQ(c.publisher.dropped(), 150u);
  broker.Resume();

  // The first 20 were in flight when the broker stalled; of the rest, the newest 30 waited.
  std::vector<std::string> expected;
  for (int i = 0; i < 20; ++i) expected.push_back(std::to_string(i));
  for (int i = 170; i < 200; ++i) expected.push_back(std::to_string(i));
  ASSERT_TRUE(WaitFor([&] { return sub.Count("site/q/1/status") >= expected.size(); }))
      << sub.Count("site/q/1/status");
  std::vector<std::string> got;
  for (const Message& m : sub.On("site/q/1/status")) got.push_back(FrameIn(m.payload));
  EXPECT_EQ(got, expected);
  EXPECT_TRUE(WaitFor([&] { return c.publisher.queued() == 0; }));
}

// Answers handed over with their values: those that go out at once are
// written from the gateway's values, those that wait behind them from the
// answer when sent; both carry the record the profile gives, in order.
TEST(GatewayPublisher, AnswersWrittenAtOnceOrWhenSentAlike) {
  const kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile(KVZ_DEFAULT_PROFILE);
  ASSERT_TRUE(load.profile) << load.error->text;
  const auto profile = std::make_shared<const kelvo_profile::Profile>(*load.profile);
  // A 0xC2 answer of the simulated unit: 16 cells, 4 sensors.
  const std::string c2 =
      "<BB300C2AE6B19623400C8611486100CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD500000708"
      "04"
      "4445464400000000000200000000030000000000000000000000780077500F2812F212D416A816BC70>";
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  Connected c(broker, 1000);
  c.publisher.SetProfile(profile);
  ASSERT_TRUE(WaitFor([&] { return c.publisher.isConnected(); }));

  // In one pass of the event loop, more than are written ahead.
  constexpr int kAnswers = 150;
  std::vector<std::string> expected;
  const auto topic = std::make_shared<const std::string>("site/v/1/status");
  for (int i = 0; i < kAnswers; ++i) {
    kelvo_records::Record record{std::chrono::system_clock::now(), 1, c2, 0.5 * i};
    const kelvo_gateway::EnergyTotals energy{0.0015 * i, 1000.0 / (i + 1)};
    const kelvo_records::AddedValue added[] = {{"energy_charged", energy.charged_wh, 3},
                                               {"energy_discharged", energy.discharged_wh, 3}};
    expected.push_back(kelvo_records::JsonRecord(record, profile.get(), added));
    const std::optional<codec::FrameItems> items = codec::TryBreakDownFrame(record.frame);
    const std::optional<std::vector<kelvo_profile::ProfileValue>> values =
        kelvo_profile::ApplyProfile(*profile, *items);
    c.publisher.PublishAnswer(topic, std::move(record), &*items, *values, energy);
  }
  ASSERT_TRUE(WaitFor([&] { return sub.Count(*topic) == kAnswers; })) << sub.Count(*topic);
  std::vector<std::string> got;
  for (const Message& m : sub.On(*topic)) got.push_back(m.payload);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[i]) << "answer " << i;
}

}  // namespace
}  // namespace kelvo_gateway_test

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
