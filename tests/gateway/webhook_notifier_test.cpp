// The webhook notifier in process against an HTTP receiver on loopback that
// answers as each case tells it: in order, one at a time, retried, refused,
// dropped. Every wait ends on a request arriving or a count changing.
#include "gateway/webhook_notifier.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "http_receiver.h"

namespace kelvo_gateway {
namespace {

using kelvo_gateway_test::HttpReceiver;
using Json = nlohmann::ordered_json;

constexpr RetryTimes kQuickRetries{20, 80};

Json Event(int n) {
  return {{"time", "2026-12-09T14:10:02.511+00:00"}, {"bus", "east"},     {"address", 7},
          {"name", "e" + std::to_string(n)},         {"state", "raised"}, {"element", nullptr}};
}

NotifyConfig Config(const std::string& url, int max_queued = 100, int timeout_ms = 5000) {
  NotifyConfig c;
  c.webhook_url = url;
  c.token = "tok-123";
  c.max_queued = max_queued;
  c.timeout_ms = timeout_ms;
  return c;
}

bool WaitFor(const std::function<bool()>& done) {
  return QTest::qWaitFor(done, 10000);
}

// The "name" of each request's body, in order of arrival.
std::vector<std::string> Names(const HttpReceiver& receiver) {
  std::vector<std::string> names;
  for (const kelvo_gateway_test::HttpRequest& r : receiver.requests())
    names.push_back(Json::parse(r.body.toStdString()).at("name"));
  return names;
}

struct Notes {
  explicit Notes(WebhookNotifier& notifier) {
    QObject::connect(&notifier, &WebhookNotifier::note,
                     [this](const QString& t) { said.push_back(t.toStdString()); });
  }
  std::vector<std::string> said;
};

TEST(WebhookNotifier, PostsEveryEventInOrderOneAtATimeWithTheToken) {
  HttpReceiver receiver;
  ASSERT_TRUE(receiver.Listen());
  WebhookNotifier notifier(Config(receiver.url("/hook?site=a")), kQuickRetries);
  Notes notes(notifier);
  for (int i = 1; i <= 5; ++i) notifier.Post(Event(i));
  ASSERT_TRUE(WaitFor([&] { return notifier.counts().sent == 5; }));

  EXPECT_EQ(Names(receiver), (std::vector<std::string>{"e1", "e2", "e3", "e4", "e5"}));
  for (std::size_t i = 0; i < receiver.requests().size(); ++i) {
    const kelvo_gateway_test::HttpRequest& r = receiver.requests()[i];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/hook?site=a");
    EXPECT_EQ(r.headers.at("authorization"), "Bearer tok-123");
    EXPECT_EQ(r.headers.at("content-type"), "application/json");
    // The event as it is: nothing was dropped before it.
    EXPECT_EQ(Json::parse(r.body.toStdString()), Event(static_cast<int>(i) + 1));
  }
  EXPECT_EQ(receiver.most_outstanding(), 1);
  EXPECT_TRUE(notes.said.empty());
  const WebhookCounts c = notifier.counts();
  EXPECT_EQ(c.queued, 0u);
  EXPECT_EQ(c.dropped + c.refused, 0u);
}

TEST(WebhookNotifier, TroubleIsRetriedOrRefusedAndToldOnce) {
  const struct {
    const char* name;
    std::vector<int> answers;  // for the first requests; 200 after
    int timeout_ms;
    std::vector<std::string> arrived;
    std::uint64_t refused;
    std::vector<std::string> notes;  // one line each, containing this
  } rows[] = {
      {"500 twice", {500, 500}, 5000, {"e1", "e1", "e1", "e2", "e3"}, 0, {"answers 500", "back"}},
      {"408, 429 and 503 mean later",
       {408, 429, 503},
       5000,
       {"e1", "e1", "e1", "e1", "e2", "e3"},
       0,
       {"answers 408", "back: an event delivered after 3 failed attempts"}},
      {"hangs, then answers",
       {HttpReceiver::kHold},
       1000,
       {"e1", "e1", "e2", "e3"},
       0,
       {"no answer within 1000 ms", "back"}},
      {"closes without answering",
       {HttpReceiver::kClose, HttpReceiver::kClose},
       5000,
       {"e1", "e1", "e1", "e2", "e3"},
       0,
       {"webhook http://127.0.0.1:", "back"}},
      // A refusal is not sent again; the next event delivered says how many were lost.
      {"refuses with 400", {400, 422}, 5000, {"e1", "e2", "e3"}, 2, {"refuses events: 400"}},
      {"refuses the token", {401}, 5000, {"e1", "e2", "e3"}, 1, {"401 Test Answer (check token_file)"}},
      {"redirects", {302}, 5000, {"e1", "e2", "e3"}, 1, {"redirects are not followed"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    HttpReceiver receiver;
    ASSERT_TRUE(receiver.Listen());
    receiver.Answer(row.answers);
    WebhookNotifier notifier(Config(receiver.url(), 100, row.timeout_ms), kQuickRetries);
    Notes notes(notifier);
    for (int i = 1; i <= 3; ++i) notifier.Post(Event(i));
    ASSERT_TRUE(WaitFor([&] { return notifier.counts().queued == 0; }));

    EXPECT_EQ(Names(receiver), row.arrived);
    const WebhookCounts c = notifier.counts();
    EXPECT_EQ(c.refused, row.refused);
    EXPECT_EQ(c.sent, 3 - row.refused);
    EXPECT_EQ(c.dropped, 0u);
    // Each request after refusals says how many went unseen since the last delivery.
    for (std::size_t i = 0; i < receiver.requests().size(); ++i) {
      const Json body = Json::parse(receiver.requests()[i].body.toStdString());
      if (i > 0 && i <= row.refused) {
        EXPECT_EQ(body.at("dropped"), i);
      } else {
        EXPECT_FALSE(body.contains("dropped")) << i;
      }
    }
    ASSERT_EQ(notes.said.size(), row.notes.size()) << ::testing::PrintToString(notes.said);
    for (std::size_t i = 0; i < row.notes.size(); ++i)
      EXPECT_NE(notes.said[i].find(row.notes[i]), std::string::npos) << notes.said[i];
  }
}

TEST(WebhookNotifier, EventsWaitForAReceiverThatIsAway) {
  HttpReceiver receiver;
  ASSERT_TRUE(receiver.Listen());
  const int port = receiver.port();
  receiver.Close();
  WebhookNotifier notifier(Config(receiver.url()), kQuickRetries);
  Notes notes(notifier);
  notifier.Post(Event(1));
  notifier.Post(Event(2));
  ASSERT_TRUE(WaitFor([&] { return !notes.said.empty(); }));
  EXPECT_NE(notes.said[0].find("webhook http://127.0.0.1:" + std::to_string(port) + ": "), std::string::npos)
      << notes.said[0];
  EXPECT_EQ(notifier.counts().queued, 2u);

  ASSERT_TRUE(receiver.Listen(port));
  ASSERT_TRUE(WaitFor([&] { return notifier.counts().sent == 2; }));
  EXPECT_EQ(Names(receiver), (std::vector<std::string>{"e1", "e2"}));
  EXPECT_EQ(notes.said.size(), 2u);
}

TEST(WebhookNotifier, FullQueueDropsTheOldestWaitingAndTheNextDeliveredSaysSo) {
  HttpReceiver receiver;
  ASSERT_TRUE(receiver.Listen());
  receiver.Answer({HttpReceiver::kHold});
  WebhookNotifier notifier(Config(receiver.url(), 3), kQuickRetries);
  Notes notes(notifier);
  notifier.Post(Event(1));
  ASSERT_TRUE(WaitFor([&] { return receiver.requests().size() == 1; }));
  for (int i = 2; i <= 6; ++i) notifier.Post(Event(i));
  // e1 is being sent and stays; of e2..e6 the newest two fit.
  EXPECT_EQ(notifier.counts().queued, 3u);
  EXPECT_EQ(notifier.counts().dropped, 3u);
  ASSERT_EQ(notes.said.size(), 1u);
  EXPECT_NE(notes.said[0].find("queue full (max_queued 3)"), std::string::npos) << notes.said[0];

  receiver.Release();
  ASSERT_TRUE(WaitFor([&] { return notifier.counts().sent == 3; }));
  EXPECT_EQ(Names(receiver), (std::vector<std::string>{"e1", "e5", "e6"}));
  const auto body = [&](std::size_t i) { return Json::parse(receiver.requests()[i].body.toStdString()); };
  EXPECT_FALSE(body(0).contains("dropped"));  // sent before anything was dropped
  EXPECT_EQ(body(1).at("dropped"), 3);
  EXPECT_FALSE(body(2).contains("dropped"));  // said once, by e5
}

TEST(WebhookNotifier, NewSettingsTakeTheWaitingEventsAlong) {
  HttpReceiver old_receiver;
  HttpReceiver new_receiver;
  ASSERT_TRUE(old_receiver.Listen());
  ASSERT_TRUE(new_receiver.Listen());
  old_receiver.Answer({HttpReceiver::kHold});
  WebhookNotifier notifier(Config(old_receiver.url()), kQuickRetries);
  notifier.Post(Event(1));
  notifier.Post(Event(2));
  ASSERT_TRUE(WaitFor([&] { return old_receiver.requests().size() == 1; }));

  NotifyConfig next = Config(new_receiver.url());
  next.token = "tok-456";
  notifier.SetConfig(next);
  ASSERT_TRUE(WaitFor([&] { return notifier.counts().sent == 2; }));
  EXPECT_EQ(Names(new_receiver), (std::vector<std::string>{"e1", "e2"}));
  EXPECT_EQ(new_receiver.requests()[0].headers.at("authorization"), "Bearer tok-456");
  EXPECT_EQ(old_receiver.requests().size(), 1u);
}

TEST(WebhookNotifier, HttpsChecksTheReceiversCertificate) {
  if (QStandardPaths::findExecutable("openssl").isEmpty()) GTEST_SKIP() << "no openssl to make a certificate";
  QTemporaryDir dir;
  const QString certificate = dir.filePath("receiver.pem");
  const QString key = dir.filePath("receiver.key");
  QProcess openssl;
  openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                            "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                            "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", certificate});
  ASSERT_TRUE(openssl.waitForFinished(30000));
  ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
  HttpReceiver receiver;
  ASSERT_TRUE(receiver.ListenTls(certificate, key));

  // Self-signed: the system's certificates do not vouch for it.
  WebhookNotifier unchecked(Config(receiver.url()), kQuickRetries);
  Notes refused(unchecked);
  unchecked.Post(Event(1));
  ASSERT_TRUE(WaitFor([&] { return !refused.said.empty(); }));
  EXPECT_NE(refused.said[0].find("self-signed"), std::string::npos) << refused.said[0];
  EXPECT_TRUE(receiver.requests().empty());

  NotifyConfig trusting = Config(receiver.url());
  trusting.ca_file = certificate.toStdString();
  WebhookNotifier checked(trusting, kQuickRetries);
  checked.Post(Event(2));
  ASSERT_TRUE(WaitFor([&] { return checked.counts().sent == 1; }));
  EXPECT_EQ(Names(receiver), std::vector<std::string>{"e2"});
}

}  // namespace
}  // namespace kelvo_gateway

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
