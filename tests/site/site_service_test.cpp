// kelvo-site spawned as a user runs it, against a real mosquitto and the
// SQLite store: what gateways publish comes back over HTTP and the live
// socket, survives a restart, and the HTTP rules hold.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <algorithm>
#include <csignal>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "mqtt_harness.h"

namespace kelvo_gateway_test {
namespace {

using Json = nlohmann::json;

struct Answer {
  int status = 0;  // 0: no answer
  std::map<QByteArray, QByteArray> headers;
  std::string body;

  [[nodiscard]] QByteArray Header(const QByteArray& lower_name) const {
    const auto it = headers.find(lower_name);
    return it == headers.end() ? QByteArray() : it->second;
  }
};

// The service in a process of its own, with its files in a scratch folder.
class Site {
 public:
  Site() : http_port_(FreePort()) {}
  ~Site() { Stop(); }

  std::string dir() const { return dir_.path().toStdString(); }
  int port() const { return http_port_; }

  // Writes the configuration (broker, optional token) and starts the service.
  bool Start(const Broker& broker, const std::string& extra_http = {},
             const std::vector<std::string>& args = {}, const std::string& store_file = {}) {
    head_ = "[broker]\nurl = \"" + broker.url() + "\"\ntopic_prefixes = [\"kelvo/site-a\", \"kelvo\"]\n" +
            "[store]\nurl = \"sqlite://" + (store_file.empty() ? dir() + "/site.db" : store_file) + "\"\n";
    extra_http_ = extra_http;
    WriteConfig();
    QStringList arguments{"--config", QString::fromStdString(dir() + "/site.toml")};
    for (const std::string& a : args) arguments << QString::fromStdString(a);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Times are written in the host's zone: UTC, so that they read as the messages wrote them.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TZ", "UTC");
    process_.setProcessEnvironment(environment);
    process_.start(KELVO_SITE_PATH, arguments);
    if (!process_.waitForStarted(5000)) return false;
    return WaitFor([this] { return Get("/healthz").status != 0; }, 10000);
  }
  // SIGTERM; the time it took to exit, or -1 when it did not within 5 s.
  qint64 Stop() {
    if (process_.state() == QProcess::NotRunning) return 0;
    QElapsedTimer timer;
    timer.start();
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished();
      return -1;
    }
    return timer.elapsed();
  }
  int exitCode() const { return process_.exitCode(); }
  void Hangup() { ::kill(static_cast<pid_t>(process_.processId()), SIGHUP); }
  // The configuration with another listen port, for a SIGHUP to take; requests go there from now on.
  void MoveTo(int port) {
    http_port_ = port;
    WriteConfig();
  }

  Answer Request(const QByteArray& method, const std::string& path, const QByteArray& body = {},
                 const QByteArray& token = {}) {
    QNetworkRequest request(
        QUrl(QString::fromStdString("http://127.0.0.1:" + std::to_string(http_port_) + path)));
    if (!token.isEmpty()) request.setRawHeader("Authorization", "Bearer " + token);
    if (!body.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = network_.sendCustomRequest(request, method, body);
    Answer answer;
    if (!WaitFor([reply] { return reply->isFinished(); }, 10000)) {
      reply->abort();
    }
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    for (const auto& [name, value] : reply->rawHeaderPairs()) answer.headers[name.toLower()] = value;
    answer.body = reply->readAll().toStdString();
    reply->deleteLater();
    return answer;
  }
  Answer Get(const std::string& path, const QByteArray& token = {}) {
    return Request("GET", path, {}, token);
  }

 private:
  void WriteConfig() {
    std::ofstream(dir() + "/site.toml") << head_ << "[http]\nlisten = \"127.0.0.1:" << http_port_ << "\"\n"
                                        << extra_http_;
  }

  QTemporaryDir dir_;
  int http_port_;
  std::string head_;
  std::string extra_http_;
  QProcess process_;
  QNetworkAccessManager network_;
};

const std::string kUnit = "prefix=kelvo/site-a&bus=rack1&address=3";
const std::string kDay = "&from=2026-12-09T00:00:00.000%2B00:00&to=2026-12-10T00:00:00.000%2B00:00";
// Every answer is asked for over an hour at most: a day of them would pass the 5,000 points an answer holds.
const std::string kHour = "&from=2026-12-09T14:00:00.000%2B00:00&to=2026-12-09T15:00:00Z";
const std::string kFirstHour = "&from=2026-12-09T00:00:00Z&to=2026-12-09T01:00:00Z";

std::string Status(const std::string& time, double volts, double cell2) {
  return "{\"time\":\"" + time +
         "\",\"address\":3,\"frame\":\"<...>\",\"values\":{\"total_voltage\":" + std::to_string(volts) +
         ",\"cell_voltages\":[3.301," + std::to_string(cell2) +
         ",null],\"status_flags\":[\"charging\"],\"energy_charged\":12.5,\"energy_discharged\":3.25}}";
}

Json Units(Site& site) {
  const Answer a = site.Get("/api/units");
  EXPECT_EQ(a.status, 200) << a.body;
  return Json::parse(a.body, nullptr, false);
}

TEST(SiteService, IngestsWhatGatewaysPublishAndServesItBack) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Site site;
  ASSERT_TRUE(site.Start(broker));
  ASSERT_TRUE(WaitFor([&] { return site.Get("/healthz").status == 200; }));
  Publisher pub(broker.port());
  ASSERT_TRUE(pub.Publish("kelvo/site-a/rack1/3/availability", "online", true));
  ASSERT_TRUE(
      pub.Publish("kelvo/site-a/rack1/3/status", Status("2026-12-09T14:10:02.000+00:00", 53.0, 3.302)));
  ASSERT_TRUE(
      pub.Publish("kelvo/site-a/rack1/3/status", Status("2026-12-09T14:10:04.000+00:00", 53.2, 3.304)));
  ASSERT_TRUE(pub.Publish("kelvo/site-a/rack1/3/status", "not json at all"));
  // Older than the last, arriving late: stored, but not what the unit shows.
  ASSERT_TRUE(
      pub.Publish("kelvo/site-a/rack1/3/status", Status("2026-12-09T14:10:03.000+00:00", 53.1, 3.303)));
  ASSERT_TRUE(pub.Publish("kelvo/site-a/rack1/3/alarms",
                          "{\"time\":\"2026-12-09T14:10:04.000+00:00\",\"active\":[{\"name\":\"cell_over\","
                          "\"severity\":\"critical\",\"element\":2}]}",
                          true));
  ASSERT_TRUE(pub.Publish("kelvo/site-a/rack1/alarms",
                          "{\"time\":\"2026-12-09T14:10:04.000+00:00\",\"active\":[]}", true));
  ASSERT_TRUE(pub.Publish("kelvo/site-a/rack1/bank", "{\"units\":1,\"soc\":61.5}", true));
  ASSERT_TRUE(pub.Publish("kelvo/site-a/bank", "{\"units\":1,\"soc\":61.5}", true));
  const std::string event =
      "{\"time\":\"2026-12-09T14:10:04.000+00:00\",\"bus\":\"rack1\",\"address\":3,\"name\":\"cell_over\","
      "\"severity\":\"critical\",\"state\":\"raised\",\"value\":3.604,\"threshold\":3.6,\"element\":2}";
  ASSERT_TRUE(pub.Publish("kelvo/site-a/events", event));

  // The latest state, from memory.
  Json units;
  ASSERT_TRUE(WaitFor([&] {
    units = Units(site);
    return units.is_array() && units.size() == 1 && !units[0]["alarms"].empty();
  }));
  const Json& u = units[0];
  EXPECT_EQ(u["prefix"], "kelvo/site-a");
  EXPECT_EQ(u["bus"], "rack1");
  EXPECT_EQ(u["address"], 3);
  EXPECT_EQ(u["online"], true);
  EXPECT_EQ(u["last_seen"], "2026-12-09T14:10:04.000+00:00");
  EXPECT_DOUBLE_EQ(u["values"]["total_voltage"].get<double>(), 53.2);
  EXPECT_EQ(u["values"]["status_flags"], Json::array({"charging"}));
  EXPECT_EQ(u["alarms"][0]["name"], "cell_over");

  const Json banks = Json::parse(site.Get("/api/banks").body, nullptr, false);
  ASSERT_EQ(banks.size(), 2u) << banks;
  EXPECT_TRUE(banks[0]["bus"].is_null());  // the site's bank sorts first
  EXPECT_EQ(banks[1]["bus"], "rack1");
  EXPECT_DOUBLE_EQ(banks[1]["bank"]["soc"].get<double>(), 61.5);

  // History, from the store once the batch is written: the late answer in its place.
  Json history;
  ASSERT_TRUE(WaitFor([&] {
    history = Json::parse(
        site.Get("/api/history?" + kUnit + "&key=cell_voltages&element=2" + kHour + "&step=0").body, nullptr,
        false);
    return history.is_object() && history["points"].size() == 3;
  })) << history;
  EXPECT_EQ(history["unit"], "V");
  EXPECT_EQ(history["points"][0][0], 1796825402000LL);
  EXPECT_DOUBLE_EQ(history["points"][1][1].get<double>(), 3.303);
  EXPECT_DOUBLE_EQ(history["points"][2][1].get<double>(), 3.304);
  const Json energy = Json::parse(
      site.Get("/api/history?" + kUnit + "&key=energy_charged" + kHour + "&step=0").body, nullptr, false);
  EXPECT_EQ(energy["unit"], "Wh");
  EXPECT_EQ(energy["points"].size(), 3u);

  // Requests that cannot be answered say why.
  for (const std::string& bad : std::vector<std::string>{
           "&key=no_such_key" + kDay, "&key=total_voltage&from=yesterday&to=2026-12-10T00:00:00Z",
           "&key=total_voltage&from=2026-12-10T00:00:00Z&to=2026-12-09T00:00:00Z",
           "&key=cell_voltages" + kDay,
           "&key=total_voltage&step=0" + kDay}) {  // every answer of a day: past what one answer holds
    const Answer a = site.Get(std::string("/api/history?").append(kUnit).append(bad));
    EXPECT_EQ(a.status, 400) << bad;
    EXPECT_TRUE(Json::parse(a.body, nullptr, false).contains("error")) << a.body;
  }

  const Answer events = site.Get("/api/events?prefix=kelvo/site-a" + kDay);
  EXPECT_EQ(events.body, "[" + event + "]");

  const Answer csv = site.Get("/api/export.csv?" + kUnit + kDay);
  EXPECT_EQ(csv.status, 200);
  EXPECT_EQ(csv.Header("content-type"), "text/csv; charset=utf-8");
  EXPECT_EQ(
      csv.body,
      "time,total_voltage[V],cell_voltages[1][V],cell_voltages[2][V],cell_voltages[3][V],energy_charged[Wh],"
      "energy_discharged[Wh]\r\n"
      "2026-12-09T14:10:02.000+00:00,53,3.301,3.302,,12.5,3.25\r\n"
      "2026-12-09T14:10:03.000+00:00,53.1,3.301,3.303,,12.5,3.25\r\n"
      "2026-12-09T14:10:04.000+00:00,53.2,3.301,3.304,,12.5,3.25\r\n");

  // SIGTERM: out promptly, the batch written; then against a broker that kept nothing.
  const qint64 took = site.Stop();
  EXPECT_GE(took, 0);
  EXPECT_LT(took, 2500);
  EXPECT_EQ(site.exitCode(), 0);
  Broker empty;
  ASSERT_TRUE(empty.Start());
  ASSERT_TRUE(site.Start(empty));
  ASSERT_TRUE(WaitFor([&] {
    units = Units(site);
    return units.is_array() && units.size() == 1;
  }));
  EXPECT_EQ(units[0]["last_seen"], "2026-12-09T14:10:04.000+00:00");
  EXPECT_DOUBLE_EQ(units[0]["values"]["total_voltage"].get<double>(), 53.2);
  EXPECT_EQ(units[0]["online"], true);
  EXPECT_EQ(units[0]["alarms"][0]["name"], "cell_over");

  // A gateway gone away takes its units with it until it is back and says so.
  Publisher again(empty.port());
  ASSERT_TRUE(again.Publish("kelvo/site-a/gateway/availability", "offline", true));
  ASSERT_TRUE(WaitFor([&] { return Units(site)[0]["online"] == false; }));
  ASSERT_TRUE(again.Publish("kelvo/site-a/rack1/3/availability", "online", true));  // its last word
  ASSERT_TRUE(again.Publish("kelvo/site-a/gateway/availability", "online", true));
  ASSERT_TRUE(WaitFor([&] {
    return site.Get("/metrics").body.find("kelvo_gateway_online{prefix=\"kelvo/site-a\"} 1") !=
           std::string::npos;
  }));
  EXPECT_EQ(Units(site)[0]["online"], false);
  ASSERT_TRUE(again.Publish("kelvo/site-a/rack1/3/availability", "online", true));
  EXPECT_TRUE(WaitFor([&] { return Units(site)[0]["online"] == true; }));
}

TEST(SiteService, ExportsALongRangeInTurnsWithNothingLostOrTwice) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Site site;
  ASSERT_TRUE(site.Start(broker));
  ASSERT_TRUE(WaitFor([&] { return site.Get("/healthz").status == 200; }));
  Publisher pub(broker.port());
  // More answers than one turn of the export reads, 100 ms apart.
  constexpr int kAnswers = 4500;
  const std::int64_t start_ms = 1796774400000;  // 2026-12-09T00:00:00Z
  for (int i = 0; i < kAnswers; ++i) {
    const std::int64_t ms = start_ms + i * 100;
    const QString time = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
    ASSERT_TRUE(pub.Publish("kelvo/site-a/rack1/3/status",
                            Status(time.left(23).toStdString() + "+00:00", 50 + i * 0.001, 3.3)));
  }
  ASSERT_TRUE(WaitFor(
      [&] {
        const Json h = Json::parse(
            site.Get("/api/history?" + kUnit + "&key=total_voltage" + kFirstHour + "&step=0").body, nullptr,
            false);
        return h.is_object() && h["points"].size() == kAnswers;
      },
      30000));
  const Answer csv = site.Get("/api/export.csv?" + kUnit + kDay);
  ASSERT_EQ(csv.status, 200);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < csv.body.size();) {
    const std::size_t end = csv.body.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(csv.body.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), kAnswers + 1u);
  EXPECT_TRUE(lines[0].starts_with("time,total_voltage[V],"));
  for (int i = 0; i < kAnswers; ++i) {
    const std::string expected = QDateTime::fromMSecsSinceEpoch(start_ms + i * 100, Qt::UTC)
                                     .toString(Qt::ISODateWithMs)
                                     .left(23)
                                     .toStdString() +
                                 "+00:00,";
    ASSERT_TRUE(lines[static_cast<std::size_t>(i) + 1].starts_with(expected)) << i << ": " << lines[i + 1];
  }
}

TEST(SiteService, HoldsAnswersWhileTheStoreIsAwayAndWritesThemOnceItOpens) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Site site;
  const std::string folder = site.dir() + "/not-yet";
  ASSERT_TRUE(site.Start(broker, {}, {}, folder + "/site.db"));
  Answer health;
  ASSERT_TRUE(WaitFor([&] {
    health = site.Get("/healthz");
    return Json::parse(health.body, nullptr, false)["subscribed"] == true;
  }));
  EXPECT_EQ(health.status, 503);
  EXPECT_NE(Json::parse(health.body, nullptr, false)["store"], "open") << health.body;
  Publisher pub(broker.port());
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(pub.Publish("kelvo/site-a/rack1/3/status",
                            Status("2026-12-09T14:10:0" + std::to_string(i) + ".000+00:00", 50 + i, 3.3)));
  }
  ASSERT_TRUE(WaitFor([&] { return Units(site).size() == 1; }));  // served from memory meanwhile
  EXPECT_EQ(site.Get("/api/history?" + kUnit + "&key=total_voltage" + kHour + "&step=0").status, 503);
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(WaitFor([&] { return site.Get("/healthz").status == 200; }, 15000));
  Json history;
  ASSERT_TRUE(WaitFor(
      [&] {
        history =
            Json::parse(site.Get("/api/history?" + kUnit + "&key=total_voltage" + kHour + "&step=0").body,
                        nullptr, false);
        return history.is_object() && history["points"].size() == 3;
      },
      10000))
      << history;
}

TEST(SiteService, UnitsRememberedOnlineFollowTheirGatewayGoneMeanwhile) {
  Site site;
  const std::string folder = site.dir() + "/store";
  std::filesystem::create_directories(folder);
  {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(site.Start(broker, {}, {}, folder + "/site.db"));
    Publisher pub(broker.port());
    ASSERT_TRUE(pub.Publish("kelvo/site-a/rack1/3/availability", "online", true));
    ASSERT_TRUE(WaitFor([&] { return Units(site).size() == 1; }));
    ASSERT_GE(site.Stop(), 0);  // the state written as it stops
  }
  // Back with the store away at first, so that the broker speaks before the store is read.
  std::filesystem::rename(folder, folder + ".away");
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Publisher pub(broker.port());
  ASSERT_TRUE(pub.Publish("kelvo/site-a/gateway/availability", "offline", true));
  ASSERT_TRUE(site.Start(broker, {}, {}, folder + "/site.db"));
  ASSERT_TRUE(WaitFor([&] {
    return site.Get("/metrics").body.find("kelvo_gateway_online{prefix=\"kelvo/site-a\"} 0") !=
           std::string::npos;
  }));
  std::filesystem::rename(folder + ".away", folder);
  Json units;
  ASSERT_TRUE(WaitFor([&] { return (units = Units(site)).size() == 1; }, 15000));
  EXPECT_EQ(units[0]["online"], false);
}

TEST(SiteService, TokenGuardsTheApiButNotThePage) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Site site;
  const std::string token_path = site.dir() + "/token";
  std::ofstream(token_path) << "t0ken-of-the-site\n";
  chmod(token_path.c_str(), 0600);
  const std::string page = site.dir() + "/page";
  std::filesystem::create_directories(page);
  std::ofstream(page + "/index.html") << "<!doctype html><title>site</title>";
  std::ofstream(page + "/app.js") << "export {};";
  std::ofstream(site.dir() + "/secret.txt") << "outside";
  ASSERT_TRUE(site.Start(broker, "token_file = \"" + token_path + "\"\n", {"--page-dir", page}));

  struct Case {
    const char* path;
    QByteArray token;
    int status;
  };
  const Case cases[] = {
      {"/api/units", "", 401},
      {"/api/units", "t0ken-of-the-sitf", 401},
      {"/api/units", "t0ken-of-the-site-", 401},
      {"/api/units", "t0ken-of-the-site", 200},
      {"/metrics", "", 401},
      {"/metrics", "t0ken-of-the-site", 200},
      {"/api/nothing", "t0ken-of-the-site", 404},
      {"/", "", 200},
      {"/index.html", "", 200},
      {"/app.js", "", 200},
      {"/%2e%2e/secret.txt", "", 404},
      {"/missing.css", "", 404},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const Answer a = site.Get(c.path, c.token);
    EXPECT_EQ(a.status, c.status) << a.body;
    EXPECT_EQ(a.Header("x-content-type-options"), "nosniff");
    EXPECT_EQ(a.Header("x-frame-options"), "DENY");
    EXPECT_EQ(a.Header("content-security-policy"),
              "default-src 'self'; connect-src 'self' ws: wss:; frame-ancestors 'none'");
    if (std::string(c.path).starts_with("/api/")) {
      EXPECT_EQ(a.Header("cache-control"), "no-store");
    }
    if (c.status == 401) {
      EXPECT_TRUE(Json::parse(a.body, nullptr, false).contains("error"));
    }
  }
  EXPECT_EQ(site.Get("/app.js").Header("content-type"), "text/javascript; charset=utf-8");

  // SIGHUP takes a new token; a file that does not check then changes nothing.
  std::ofstream(token_path) << "a-new-t0ken\n";
  site.Hangup();
  ASSERT_TRUE(WaitFor([&] { return site.Get("/api/units", "a-new-t0ken").status == 200; }));
  EXPECT_EQ(site.Get("/api/units", "t0ken-of-the-site").status, 401);
  std::ofstream(site.dir() + "/site.toml", std::ios::app) << "colour = \"blue\"\n";
  std::ofstream(token_path) << "third-t0ken\n";
  site.Hangup();
  // The refusal is logged; the token in use stays.
  EXPECT_FALSE(WaitFor([&] { return site.Get("/api/units", "third-t0ken").status == 200; }, 1500));
  EXPECT_EQ(site.Get("/api/units", "a-new-t0ken").status, 200);

  // A new listen address is taken at once, and the old one let go.
  const int old_port = site.port();
  site.MoveTo(FreePort());
  site.Hangup();
  ASSERT_TRUE(WaitFor([&] { return site.Get("/api/units", "third-t0ken").status == 200; }));
  QTcpSocket probe;  // a new connection: the client's kept-alive one to the old port stays open
  probe.connectToHost("127.0.0.1", static_cast<quint16>(old_port));
  ASSERT_TRUE(WaitFor([&] { return probe.state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_EQ(probe.error(), QAbstractSocket::ConnectionRefusedError);

  // An address it cannot take leaves it where it was, on a new connection too; the rest applies.
  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::LocalHost));
  const int moved = site.port();
  site.MoveTo(taken.serverPort());
  std::ofstream(token_path) << "fourth-t0ken\n";
  site.Hangup();
  const auto fresh_get = [&] {
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", static_cast<quint16>(moved));
    socket.write("GET /api/units HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer fourth-t0ken\r\n\r\n");
    QByteArray said;
    WaitFor([&] {
      said += socket.readAll();
      return said.contains("\r\n\r\n") || socket.state() == QAbstractSocket::UnconnectedState;
    });
    return said;
  };
  ASSERT_TRUE(WaitFor([&] { return fresh_get().startsWith("HTTP/1.1 200"); }));
}

TEST(SiteService, RefusesALongBodyWithoutReadingIt) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Site site;
  ASSERT_TRUE(site.Start(broker));
  constexpr qint64 kBody = 10 * 1024 * 1024;
  QTcpSocket socket;
  socket.connectToHost("127.0.0.1", static_cast<quint16>(site.port()));
  ASSERT_TRUE(socket.waitForConnected(5000));
  socket.write("POST /api/ack HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: " +
               QByteArray::number(kBody) + "\r\n\r\n");
  const QByteArray chunk(64 * 1024, 'x');
  qint64 queued = 0;
  QByteArray answer;
  bool closed = false;
  QObject::connect(&socket, &QTcpSocket::readyRead, [&] { answer += socket.readAll(); });
  QObject::connect(&socket, &QTcpSocket::disconnected, [&] { closed = true; });
  QObject::connect(&socket, &QTcpSocket::errorOccurred, [&] { closed = true; });
  // Feed the body as the socket takes it, until the server answers or hangs up.
  ASSERT_TRUE(WaitFor(
      [&] {
        while (!closed && queued < kBody && socket.bytesToWrite() < 1024 * 1024) {
          socket.write(chunk);
          queued += chunk.size();
        }
        return closed;
      },
      20000));
  const qint64 sent = queued - socket.bytesToWrite();
  EXPECT_LT(sent, kBody) << "the whole body went out: the server read it";

  // A head past 16 KB: 431, and the connection closed.
  QTcpSocket long_head;
  long_head.connectToHost("127.0.0.1", static_cast<quint16>(site.port()));
  ASSERT_TRUE(long_head.waitForConnected(5000));
  QByteArray head_answer;
  QObject::connect(&long_head, &QTcpSocket::readyRead, [&] { head_answer += long_head.readAll(); });
  long_head.write("GET /healthz HTTP/1.1\r\nX-Filler: " + QByteArray(20 * 1024, 'a') + "\r\n\r\n");
  ASSERT_TRUE(WaitFor([&] { return long_head.state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_TRUE(head_answer.startsWith("HTTP/1.1 431")) << head_answer.left(80).toStdString();
  if (!answer.isEmpty()) {
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.toStdString();
  }
}

TEST(SiteService, HealthFollowsTheBrokerAndMetricsPassPromtool) {
  Broker broker;
  Site site;
  ASSERT_TRUE(site.Start(broker));  // the broker not yet started
  Answer health = site.Get("/healthz");
  EXPECT_EQ(health.status, 503);
  EXPECT_NE(Json::parse(health.body, nullptr, false)["broker"], "connected") << health.body;
  EXPECT_EQ(Json::parse(health.body, nullptr, false)["subscribed"], false);
  ASSERT_TRUE(broker.Start());
  ASSERT_TRUE(WaitFor([&] { return (health = site.Get("/healthz")).status == 200; }, 20000)) << health.body;
  EXPECT_EQ(health.body, "{\"broker\":\"connected\",\"store\":\"open\",\"subscribed\":true}");

  Publisher pub(broker.port());
  ASSERT_TRUE(pub.Publish("kelvo/odd\"bus\\/7/status", Status("2026-12-09T14:10:02.000+00:00", 52.5, 3.3)));
  ASSERT_TRUE(pub.Publish("kelvo/odd\"bus\\/7/availability", "offline", true));
  // Two cells over: one series, since a scrape must not repeat one. A bus's own alarm has no address.
  ASSERT_TRUE(pub.Publish("kelvo/odd\"bus\\/7/alarms",
                          R"({"time":"2026-12-09T14:10:02.000+00:00","active":[)"
                          R"({"name":"cell_over","severity":"critical","element":2},)"
                          R"({"name":"cell_over","severity":"critical","element":5}]})",
                          true));
  ASSERT_TRUE(pub.Publish(
      "kelvo/odd\"bus\\/alarms",
      R"({"time":"2026-12-09T14:10:02.000+00:00","active":[{"name":"bus_down","severity":"critical"}]})",
      true));
  ASSERT_TRUE(pub.Publish("kelvo/gateway/availability", "online", true));
  Answer metrics;
  ASSERT_TRUE(WaitFor([&] {
    metrics = site.Get("/metrics");
    return metrics.body.find("kelvo_online{") != std::string::npos &&
           metrics.body.find("kelvo_gateway_online{") != std::string::npos &&
           metrics.body.find("bus_down") != std::string::npos &&
           metrics.body.find("cell_over") != std::string::npos;
  }));
  EXPECT_NE(metrics.body.find(
                "kelvo_alarm_active{prefix=\"kelvo\",bus=\"odd\\\"bus\\\\\",address=\"\",name=\"bus_down\","
                "severity=\"critical\"} 1\n"),
            std::string::npos)
      << metrics.body;
  const std::string cell_over = "name=\"cell_over\",severity=\"critical\"} 1";
  const std::size_t first = metrics.body.find(cell_over);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(metrics.body.find(cell_over, first + 1), std::string::npos);
  EXPECT_NE(metrics.body.find(
                "kelvo_value{prefix=\"kelvo\",bus=\"odd\\\"bus\\\\\",address=\"7\",key=\"cell_voltages\","
                "element=\"2\"} 3.3"),
            std::string::npos)
      << metrics.body;
  EXPECT_NE(metrics.body.find("kelvo_online{prefix=\"kelvo\",bus=\"odd\\\"bus\\\\\",address=\"7\"} 0"),
            std::string::npos);
  EXPECT_NE(metrics.body.find("kelvo_gateway_online{prefix=\"kelvo\"} 1"), std::string::npos);
  if (QProcess::execute("sh", {"-c", "command -v promtool >/dev/null"}) != 0) GTEST_SKIP() << "no promtool";
  QProcess promtool;
  promtool.start("promtool", {"check", "metrics"});
  promtool.write(QByteArray::fromStdString(metrics.body));
  promtool.closeWriteChannel();
  ASSERT_TRUE(promtool.waitForFinished(20000));
  const QByteArray said = promtool.readAllStandardOutput() + promtool.readAllStandardError();
  EXPECT_EQ(promtool.exitCode(), 0) << said.toStdString();
}

TEST(SiteService, LiveSocketWantsTheTokenFirstThenPushesChanges) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Site site;
  const std::string token_path = site.dir() + "/token";
  std::ofstream(token_path) << "live-t0ken\n";
  chmod(token_path.c_str(), 0600);
  ASSERT_TRUE(site.Start(broker, "token_file = \"" + token_path + "\"\n"));
  ASSERT_TRUE(WaitFor([&] { return site.Get("/healthz").status == 200; }));
  const QUrl url(QString::fromStdString("ws://127.0.0.1:" + std::to_string(site.port()) + "/api/live"));

  struct Refusal {
    const char* name;
    QString first;  // empty: says nothing
  };
  for (const Refusal& r :
       {Refusal{"wrong token", "{\"token\":\"nope\"}"}, Refusal{"no token", "{}"}, Refusal{"silence", ""}}) {
    SCOPED_TRACE(r.name);
    QWebSocket refused;
    bool closed = false;
    QObject::connect(&refused, &QWebSocket::disconnected, [&] { closed = true; });
    refused.open(url);
    ASSERT_TRUE(WaitFor([&] { return refused.state() == QAbstractSocket::ConnectedState; }));
    if (!r.first.isEmpty()) refused.sendTextMessage(r.first);
    ASSERT_TRUE(WaitFor([&] { return closed; }, 8000));
    EXPECT_EQ(static_cast<int>(refused.closeCode()), 4401);
  }

  QWebSocket live;
  std::vector<Json> got;
  QObject::connect(&live, &QWebSocket::textMessageReceived, [&](const QString& text) {
    got.push_back(Json::parse(text.toStdString(), nullptr, false));
  });
  live.open(url);
  ASSERT_TRUE(WaitFor([&] { return live.state() == QAbstractSocket::ConnectedState; }));
  live.sendTextMessage("{\"token\":\"live-t0ken\"}");
  ASSERT_TRUE(WaitFor([&] { return !got.empty(); }));
  EXPECT_EQ(got[0]["type"], "hello");
  EXPECT_EQ(got[0]["health"]["broker"], "connected");

  Publisher pub(broker.port());
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(pub.Publish("kelvo/site-a/rack2/" + std::to_string(i + 1) + "/status",
                            Status("2026-12-09T14:10:0" + std::to_string(i) + ".000+00:00", 50 + i, 3.3)));
  }
  const auto units_seen = [&] {
    std::set<int> seen;
    for (const Json& m : got) {
      if (m["type"] == "units") {
        for (const Json& u : m["units"]) seen.insert(u["address"].get<int>());
      }
    }
    return seen.size();
  };
  ASSERT_TRUE(WaitFor([&] { return units_seen() == 5; }));
  const auto units_messages =
      std::count_if(got.begin(), got.end(), [](const Json& m) { return m["type"] == "units"; });
  // Coalesced: at most one a second, so five answers in quick succession take few messages.
  EXPECT_LE(units_messages, 1 + timer.elapsed() / 1000);
  ASSERT_TRUE(
      pub.Publish("kelvo/site-a/events",
                  "{\"time\":\"2026-12-09T14:10:04.000+00:00\",\"bus\":\"rack2\",\"address\":null,"
                  "\"name\":\"bus_down\",\"severity\":\"critical\",\"state\":\"raised\",\"value\":null,"
                  "\"threshold\":null,\"element\":null}"));
  ASSERT_TRUE(WaitFor([&] {
    return std::any_of(got.begin(), got.end(), [](const Json& m) {
      return m["type"] == "event" && m["event"]["name"] == "bus_down";
    });
  }));
}

TEST(SiteService, ALiveClientThatStopsReadingIsClosedWhileTheOthersKeepUp) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Site site;
  ASSERT_TRUE(site.Start(broker));
  ASSERT_TRUE(WaitFor([&] { return site.Get("/healthz").status == 200; }));

  // A page whose machine stopped reading: greeted, then never read again.
  QTcpSocket slow;
  slow.connectToHost("127.0.0.1", static_cast<quint16>(site.port()));
  ASSERT_TRUE(WaitFor([&] { return slow.state() == QAbstractSocket::ConnectedState; }));
  slow.write(
      "GET /api/live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
  QByteArray heard;
  ASSERT_TRUE(WaitFor([&] {
    heard += slow.readAll();
    return heard.contains("\r\n\r\n");
  }));
  ASSERT_TRUE(heard.startsWith("HTTP/1.1 101")) << heard.toStdString();
  const QByteArray token = "{\"token\":\"\"}";
  // A client's frame is masked; a zero mask leaves the text as it is.
  slow.write(QByteArray("\x81") + static_cast<char>(0x80 | token.size()) + QByteArray(4, '\0') + token);
  ASSERT_TRUE(WaitFor([&] {
    heard += slow.readAll();
    return heard.contains("\"hello\"");
  }));
  slow.setReadBufferSize(4096);

  int events = 0;
  QWebSocket fast;
  QObject::connect(&fast, &QWebSocket::connected, [&] { fast.sendTextMessage("{\"token\":\"\"}"); });
  QObject::connect(&fast, &QWebSocket::textMessageReceived, [&](const QString& text) {
    if (text.startsWith("{\"type\":\"event\"")) ++events;
  });
  fast.open(QUrl(QString::fromStdString("ws://127.0.0.1:" + std::to_string(site.port()) + "/api/live")));
  ASSERT_TRUE(WaitFor(
      [&] { return site.Get("/metrics").body.find("\nkelvo_site_live_clients 2\n") != std::string::npos; }));

  // Events of 200 KB, far more than the slow one's buffers and the 4 MB it may have waiting.
  Publisher pub(broker.port());
  const std::string event =
      "{\"time\":\"2026-12-09T14:10:04.000+00:00\",\"bus\":\"rack1\",\"name\":\"x\","
      "\"pad\":\"" +
      std::string(200'000, 'p') + "\"}";
  constexpr int kEvents = 150;
  for (int i = 0; i < kEvents; ++i) {
    ASSERT_TRUE(pub.Publish("kelvo/events", event));
    ASSERT_TRUE(WaitFor([&] { return events == i + 1; })) << i;
  }
  const Answer metrics = site.Get("/metrics");
  EXPECT_NE(metrics.body.find("\nkelvo_site_live_closed_slow_total 1\n"), std::string::npos) << metrics.body;
  EXPECT_NE(metrics.body.find("\nkelvo_site_live_clients 1\n"), std::string::npos);
  EXPECT_EQ(fast.state(), QAbstractSocket::ConnectedState);
}

TEST(SiteService, AFloodOfConnectionsAndLiveSocketsIsHeldAtItsLimits) {
  Broker broker;
  ASSERT_TRUE(broker.Start());
  Site site;
  ASSERT_TRUE(site.Start(broker));
  ASSERT_TRUE(WaitFor([&] { return site.Get("/healthz").status == 200; }));

  // Connections that never send a request: past 512 (the client's one kept-alive
  // connection among them) each is answered 503 at once. They are opened in
  // waves the listen queue holds, so that none waits out a SYN retry.
  constexpr int kIdle = 600;
  constexpr int kWave = 40;
  int busy = 0;  // before the sockets, whose handlers count into it till they go
  std::vector<std::unique_ptr<QTcpSocket>> idle;
  for (int i = 0; i < kIdle; ++i) {
    idle.push_back(std::make_unique<QTcpSocket>());
    QTcpSocket* socket = idle.back().get();
    QObject::connect(socket, &QTcpSocket::readyRead, [socket, &busy] {
      if (socket->readAll().startsWith("HTTP/1.1 503")) ++busy;
    });
    socket->connectToHost("127.0.0.1", static_cast<quint16>(site.port()));
    if ((i + 1) % kWave == 0) {
      ASSERT_TRUE(WaitFor([&] {
        return std::none_of(idle.begin(), idle.end(), [](const auto& s) {
          return s->state() == QAbstractSocket::HostLookupState ||
                 s->state() == QAbstractSocket::ConnectingState;
        });
      }));
    }
  }
  ASSERT_TRUE(WaitFor([&] { return busy >= kIdle - 512; })) << busy;
  EXPECT_LE(busy, kIdle - 511);
  idle.clear();
  ASSERT_TRUE(WaitFor([&] { return site.Get("/api/units").status == 200; }));

  // Live sockets: 256 are taken, the rest refused at the handshake.
  const QUrl url(QString::fromStdString("ws://127.0.0.1:" + std::to_string(site.port()) + "/api/live"));
  constexpr int kLive = 300;
  std::set<QWebSocket*> greeted;  // before the sockets: a socket says it is disconnected as it goes
  int refused = 0;
  std::vector<std::unique_ptr<QWebSocket>> live;
  for (int i = 0; i < kLive; ++i) {
    live.push_back(std::make_unique<QWebSocket>());
    QWebSocket* socket = live.back().get();
    QObject::connect(socket, &QWebSocket::connected,
                     [socket] { socket->sendTextMessage("{\"token\":\"\"}"); });
    QObject::connect(socket, &QWebSocket::textMessageReceived,
                     [socket, &greeted] { greeted.insert(socket); });
    QObject::connect(socket, &QWebSocket::disconnected, [socket, &greeted, &refused] {
      if (!greeted.contains(socket)) ++refused;
    });
    socket->open(url);
  }
  ASSERT_TRUE(WaitFor([&] { return static_cast<int>(greeted.size()) + refused >= kLive; }, 30000))
      << greeted.size() << " greeted, " << refused << " refused";
  EXPECT_EQ(greeted.size(), 256u);
  EXPECT_EQ(refused, kLive - 256);
  EXPECT_EQ(site.Get("/api/units").status, 200);

  // A place given back is taken again (a page that reconnects all week must
  // not use one up each time).
  QWebSocket* leaving = *greeted.begin();
  leaving->close();
  bool late_greeted = false;
  QWebSocket late;
  QObject::connect(&late, &QWebSocket::connected, [&] { late.sendTextMessage("{\"token\":\"\"}"); });
  QObject::connect(&late, &QWebSocket::textMessageReceived, [&] { late_greeted = true; });
  ASSERT_TRUE(WaitFor([&] { return leaving->state() == QAbstractSocket::UnconnectedState; }));
  // The service sees the close a moment after the client does.
  ASSERT_TRUE(WaitFor(
      [&] {
        if (late.state() == QAbstractSocket::UnconnectedState) late.open(url);
        return late_greeted;
      },
      10000));
}

}  // namespace
}  // namespace kelvo_gateway_test

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
