// kelvo-gateway against a real mosquitto broker, with simulated units on
// loopback TCP and pseudo-terminals in this process. Every wait ends on a
// message arriving (or a deadline when it never does), never on a fixed sleep.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "http_receiver.h"
#include "mqtt_harness.h"
#include "sim/unit_server.h"

namespace kelvo_gateway_test {
namespace {

using Json = nlohmann::json;

// A simulated unit served on loopback TCP, counting its answers.
struct TcpUnit {
  explicit TcpUnit(std::vector<int> addresses, kelvo_sim::Faults faults = {},
                   kelvo_sim::BatteryConfig battery = {})
      : server(kelvo_sim::SimulatedUnit(std::move(addresses), battery, 7), faults) {
    QObject::connect(&server, &kelvo_sim::UnitServer::answerSent, [this] { ++answers; });
    listening = server.Listen("tcp://127.0.0.1:0");
  }
  [[nodiscard]] std::string port() const { return server.listenAddress().toStdString(); }
  kelvo_sim::UnitServer server;
  bool listening = false;
  int answers = 0;
};

class Gateway {
 public:
  explicit Gateway(const std::string& config) {
    Rewrite(config);
    process_.setProgram(KELVO_GATEWAY_PATH);
    process_.setArguments({"--config", dir_.filePath("gateway.toml")});
    process_.start();
  }
  ~Gateway() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      WaitFor([this] { return process_.state() == QProcess::NotRunning; });
    }
  }
  // A configuration without a [site] table keeps its state in the test's own directory.
  void Rewrite(const std::string& config) {
    QFile file(dir_.filePath("gateway.toml"));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(config.c_str());
    if (config.find("[site]") == std::string::npos) {
      file.write(("\n[site]\nstate_dir = \"" + stateDir() + "\"\n").c_str());
    }
  }
  [[nodiscard]] std::string stateDir() const { return dir_.path().toStdString(); }
  // Starts the program again on the same file, as after a crash.
  void Restart() {
    process_.start();
    log_.clear();
  }
  void Signal(int number) { ::kill(static_cast<pid_t>(process_.processId()), number); }
  bool Ended(int ms) {
    return WaitFor([this] { return process_.state() == QProcess::NotRunning; }, ms);
  }
  std::string Log() {
    log_ += process_.readAllStandardError().toStdString();
    return log_;
  }
  QProcess& process() { return process_; }

 private:
  QTemporaryDir dir_;
  QProcess process_;
  std::string log_;
};

std::string Broker(const Broker& broker, const std::string& extra = {}) {
  return "[broker]\nurl = \"" + broker.url() + "\"\nclient_id = \"test-gw\"\ntopic_prefix = \"site\"\n" +
         extra;
}

std::string Bus(const std::string& name, const std::string& port, const std::string& addresses,
                int interval_ms = 200, int timeout_ms = 150) {
  return "[[bus]]\nname = \"" + name + "\"\nport = \"" + port + "\"\naddresses = " + addresses +
         "\ninterval_ms = " + std::to_string(interval_ms) + "\ntimeout_ms = " + std::to_string(timeout_ms) +
         "\n";
}

// Distinct answers among the status messages (a resent message repeats its time).
std::size_t DistinctAnswers(const Subscriber& sub, const std::string& topic) {
  std::set<std::string> times;
  for (const Message& m : sub.On(topic)) times.insert(Json::parse(m.payload).at("time").get<std::string>());
  return times.size();
}

TEST(GatewaySite, PublishesStatusAvailabilityAndStatsOfEveryBus) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  TcpUnit rack1({1, 2});
  ASSERT_TRUE(rack1.listening);
  kelvo_sim::UnitServer pty_unit(kelvo_sim::SimulatedUnit({3}, {}, 3));
  QString pty;
  ASSERT_TRUE(pty_unit.ServePty(&pty));

  Gateway gateway(Broker(broker, "stats_interval_ms = 300\noffline_after = 2\n") +
                  Bus("rack1", rack1.port(), "[1, 2, 9]") + Bus("rack2", pty.toStdString(), "[3]"));
  ASSERT_TRUE(WaitFor([&] {
    return sub.Count("site/rack1/1/status") > 0 && sub.Count("site/rack1/2/status") > 0 &&
           sub.Count("site/rack2/3/status") > 0 && sub.Last("site/rack1/9/availability") == "offline" &&
           sub.Count("site/gateway/stats") > 1;
  })) << gateway.Log();

  // The status payload is the poll record of the answer.
  const Json status = Json::parse(sub.On("site/rack2/3/status").front().payload);
  EXPECT_EQ(status.at("address"), 3);
  const std::string frame = status.at("frame");
  EXPECT_EQ(frame.substr(0, 1) + frame.substr(4, 4), "<03C2") << frame;
  EXPECT_TRUE(status.at("latency_ms").is_number());
  EXPECT_GT(status.at("items").size(), 30u);
  EXPECT_TRUE(std::regex_match(status.at("time").get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")));

  for (const char* unit : {"site/rack1/1", "site/rack1/2", "site/rack2/3"}) {
    EXPECT_EQ(sub.Last(std::string(unit) + "/availability"), "online") << unit;
  }
  EXPECT_EQ(sub.Last("site/gateway/availability"), "online");
  // Unit 9 never answers: offline after two missed rounds, never online.
  EXPECT_EQ(sub.Count("site/rack1/9/availability"), 1u);
  EXPECT_EQ(sub.Count("site/rack1/9/status"), 0u);

  const Json stats = Json::parse(sub.Last("site/gateway/stats"));
  EXPECT_EQ(stats.at("dropped"), 0);
  EXPECT_TRUE(stats.at("queued").is_number_unsigned());
  const Json& rack1_stats = stats.at("buses").at("rack1");
  EXPECT_EQ(rack1_stats.at("requests"),
            rack1_stats.at("answered").get<int>() + rack1_stats.at("failed").get<int>());
  EXPECT_GE(rack1_stats.at("failed"), 2);
  EXPECT_TRUE(rack1_stats.at("latency_p50_ms").is_number());
  EXPECT_TRUE(rack1_stats.at("latency_p99_ms").is_number());
  EXPECT_TRUE(stats.at("buses").contains("rack2"));

  // SIGTERM: "offline" from the gateway itself, and an exit within 3 s.
  QElapsedTimer clock;
  clock.start();
  gateway.Signal(SIGTERM);
  ASSERT_TRUE(gateway.Ended(3000));
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_EQ(gateway.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(gateway.process().exitCode(), 0);
  EXPECT_TRUE(WaitFor([&] { return sub.Last("site/gateway/availability") == "offline"; }));
}

// The number of the status item labelled `label`: "number", or "numbers" for arrays.
Json ItemNumber(const Json& status, const std::string& label) {
  for (const Json& item : status.at("items")) {
    if (item.value("label", "") == label)
      return item.contains("numbers") ? item.at("numbers") : item.at("number");
  }
  return nullptr;
}

double Round(double value, int decimals) {
  const double shift = std::pow(10.0, decimals);
  return std::round(value * shift) / shift;
}

TEST(GatewaySite, ValuesAndBankFiguresFollowTheUnitsThatAnswer) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  TcpUnit one({1});
  auto two = std::make_unique<TcpUnit>(std::vector<int>{2});
  Gateway gateway(Broker(broker, "stats_interval_ms = 300\noffline_after = 2\n") +
                  Bus("rack1", one.port(), "[1]") + Bus("rack2", two->port(), "[2]"));
  // The latest message on `topic` as JSON; an empty object before the first.
  const auto latest = [&](const std::string& topic) {
    const std::string last = sub.Last(topic);
    return last.empty() ? Json::object() : Json::parse(last);
  };
  const auto site_bank = [&] { return latest("site/bank"); };
  ASSERT_TRUE(WaitFor([&] {
    return sub.Count("site/rack2/2/status") > 0 && site_bank().value("fresh", 0) == 2;
  })) << gateway.Log();

  // Values against the raw numbers of the same answer, as the default profile scales them.
  const Json status = Json::parse(sub.Last("site/rack1/1/status"));
  const Json& values = status.at("values");
  const double volts = ItemNumber(status, "总电压").get<double>() * 0.01;
  const double amperes =
      (ItemNumber(status, "当前充电电流").get<double>() - ItemNumber(status, "当前放电电流").get<double>()) *
      0.01;
  EXPECT_DOUBLE_EQ(values.at("total_voltage").get<double>(), Round(volts, 2));
  EXPECT_DOUBLE_EQ(values.at("current").get<double>(), Round(amperes, 2));
  EXPECT_DOUBLE_EQ(values.at("power").get<double>(), Round(Round(volts, 2) * Round(amperes, 2), 4));
  const Json raw_temperatures = ItemNumber(status, "传感器温度数组");
  ASSERT_EQ(values.at("temperatures").size(), raw_temperatures.size());
  for (std::size_t i = 0; i < raw_temperatures.size(); ++i)
    EXPECT_EQ(values.at("temperatures")[i].get<int>(), raw_temperatures[i].get<int>() - 40);
  EXPECT_TRUE(values.at("energy_charged").is_number());
  EXPECT_TRUE(values.at("energy_discharged").is_number());

  // Both units fresh: the site sums both, each bus its own.
  const Json both = site_bank();
  EXPECT_EQ(both.at("units"), 2);
  EXPECT_DOUBLE_EQ(both.at("full_capacity").get<double>(), 2 * values.at("full_capacity").get<double>());
  EXPECT_EQ(Json::parse(sub.Last("site/rack2/bank")).at("units"), 1);
  Subscriber late(broker.port(), "site/+/bank");
  ASSERT_TRUE(WaitFor([&] { return late.Count("site/rack1/bank") > 0; }));
  EXPECT_TRUE(late.On("site/rack1/bank").front().retain);

  // Unit 2 stops answering: after two missed rounds it no longer counts.
  two.reset();
  ASSERT_TRUE(WaitFor([&] { return site_bank().value("fresh", -1) == 1; })) << gateway.Log();
  const Json one_left = site_bank();
  EXPECT_EQ(one_left.at("units"), 2);
  EXPECT_DOUBLE_EQ(one_left.at("full_capacity").get<double>(), values.at("full_capacity").get<double>());
  EXPECT_EQ(one_left.at("cell_min").at("bus"), "rack1");
  ASSERT_TRUE(WaitFor([&] { return latest("site/rack2/bank").value("fresh", -1) == 0; }));
  const Json gone = Json::parse(sub.Last("site/rack2/bank"));
  EXPECT_TRUE(gone.at("soc").is_null());
  EXPECT_TRUE(gone.at("cell_max").is_null());
}

// The energy counters of a unit (Wh in and out together).
double EnergyOf(const Json& status) {
  const Json& v = status.at("values");
  return v.at("energy_charged").get<double>() + v.at("energy_discharged").get<double>();
}

TEST(GatewaySite, EnergyCountersSurviveAKill) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/+/+/status");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  TcpUnit unit({1});
  Gateway gateway(Broker(broker) + Bus("rack1", unit.port(), "[1]"));
  const std::string state = gateway.stateDir() + "/energy.json";
  const auto kept = [&] {
    std::ifstream in(state);
    const Json file = Json::parse(in, nullptr, false);
    if (!file.is_object() || file.at("units").empty()) return -1.0;
    const Json& u = file.at("units")[0];
    return u.at("energy_charged").get<double>() + u.at("energy_discharged").get<double>();
  };
  // Written within 5 s of counting anything.
  ASSERT_TRUE(WaitFor([&] { return kept() > 0; }, 15000)) << gateway.Log();
  const double last_before = EnergyOf(Json::parse(sub.Last("site/rack1/1/status")));
  const double watts =
      std::abs(Json::parse(sub.Last("site/rack1/1/status")).at("values").at("power").get<double>());
  gateway.process().kill();
  ASSERT_TRUE(gateway.Ended(5000));
  const double in_file = kept();
  ASSERT_GT(in_file, 0) << "the file survives a kill whole";

  sub.Clear();
  gateway.Restart();
  ASSERT_TRUE(WaitFor([&] { return sub.Count("site/rack1/1/status") > 0; })) << gateway.Log();
  const double first_after = EnergyOf(Json::parse(sub.On("site/rack1/1/status").front().payload));
  EXPECT_GE(first_after + 0.0005, in_file) << "to the Wh's thousandth, never less than kept";
  // At most the last 5 s (and a round) is lost.
  EXPECT_LE(last_before - first_after, watts * 6 / 3600) << last_before << " then " << first_after;
}

// The names in an alarms payload's "active" list, with "!" after an acknowledged one.
std::string ActiveNames(const std::string& payload) {
  if (payload.empty()) return "(none)";
  std::string names;
  const Json list = Json::parse(payload);
  for (const Json& a : list.at("active")) {
    if (!names.empty()) names += ' ';
    names += a.at("name").get<std::string>();
    if (a.at("acknowledged").get<bool>()) names += '!';
  }
  return names;
}

// The states of the events named `name` for `address` (null: a bus's), in order.
std::string EventStates(const Subscriber& sub, const std::string& name, const Json& address) {
  std::string states;
  for (const Message& m : sub.On("site/events")) {
    const Json e = Json::parse(m.payload);
    if (e.at("name") == name && e.at("address") == address)
      states += (states.empty() ? "" : " ") + e.at("state").get<std::string>();
  }
  return states;
}

TEST(GatewaySite, AlarmsRaiseClearAndAreAcknowledged) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  TcpUnit unit({1});
  const std::string nobody = "tcp://127.0.0.1:" + std::to_string(kelvo_gateway_test::FreePort());
  // A cell always above 0 V: raised on the first answer, held by its latch.
  const std::string always =
      "[[alarm]]\nname = \"cell_seen\"\nvalue = \"cell_max\"\nabove = 0\nlatch = true\n";
  const std::string base = Broker(broker, "stats_interval_ms = 300\noffline_after = 2\n") +
                           Bus("rack1", unit.port(), "[1, 9]") + Bus("cut", nobody, "[1, 2]");
  Gateway gateway(base + always);

  ASSERT_TRUE(WaitFor([&] {
    return ActiveNames(sub.Last("site/rack1/1/alarms")) == "cell_seen" &&
           ActiveNames(sub.Last("site/rack1/9/alarms")) == "offline" &&
           ActiveNames(sub.Last("site/cut/alarms")) == "bus_down";
  })) << gateway.Log()
      << ActiveNames(sub.Last("site/rack1/1/alarms")) << "|" << ActiveNames(sub.Last("site/rack1/9/alarms"))
      << "|" << ActiveNames(sub.Last("site/cut/alarms"));
  const Json raised = Json::parse(sub.On("site/events").front().payload);
  EXPECT_EQ(raised.at("bus"), "rack1");
  EXPECT_EQ(raised.at("threshold"), 0);
  EXPECT_GT(raised.at("value").get<double>(), 3.0);
  // A cut cable is one alarm, not one per unit (whose lists stand, empty, once they are offline).
  ASSERT_TRUE(WaitFor([&] {
    return EventStates(sub, "bus_down", nullptr) == "raised" && sub.Count("site/cut/2/alarms") > 0;
  }));
  EXPECT_EQ(EventStates(sub, "offline", 2), "");
  EXPECT_EQ(ActiveNames(sub.Last("site/cut/2/alarms")), "");
  ASSERT_TRUE(WaitFor([&] {
    const std::string bank = sub.Last("site/bank");
    return !bank.empty() && Json::parse(bank).at("alarms") == Json{{"warning", 1}, {"critical", 2}};
  })) << sub.Last("site/bank");

  // Acknowledged while its condition holds: it stays, marked. A name of no alarm changes nothing.
  kelvo_gateway_test::Publisher ack(broker.port());
  ASSERT_TRUE(ack.Publish("site/rack1/1/alarms/ack", "no_such_alarm"));
  ASSERT_TRUE(ack.Publish("site/rack1/1/alarms/ack", "cell_seen"));
  // The list goes as retained state, the event through the queue: either may come first.
  ASSERT_TRUE(WaitFor([&] {
    return ActiveNames(sub.Last("site/rack1/1/alarms")) == "cell_seen!" &&
           EventStates(sub, "cell_seen", 1) == "raised acknowledged" &&
           gateway.Log().find("\"no_such_alarm\" is no alarm name") != std::string::npos;
  })) << gateway.Log();

  // The rule goes from the file: its alarm clears, one event.
  gateway.Rewrite(base);
  gateway.Signal(SIGHUP);
  ASSERT_TRUE(WaitFor([&] {
    return ActiveNames(sub.Last("site/rack1/1/alarms")).empty() &&
           EventStates(sub, "cell_seen", 1) == "raised acknowledged cleared";
  })) << gateway.Log();
  EXPECT_EQ(ActiveNames(sub.Last("site/rack1/9/alarms")), "offline");
}

// The miss that turns a unit offline is exactly the offline_after-th: rounds a
// second apart, so that the count of requests the silent unit has seen when
// "offline" arrives cannot have moved on.
TEST(GatewaySite, OfflineAtExactlyTheConfiguredMiss) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/rack1/9/availability");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  for (const int offline_after : {2, 4}) {
    TcpUnit server({1});  // nothing at address 9
    int asked = 0;
    QObject::connect(&server.server, &kelvo_sim::UnitServer::requestSeen, [&] { ++asked; });
    sub.Clear();
    Gateway gateway(Broker(broker, "offline_after = " + std::to_string(offline_after) + "\n") +
                    Bus("rack1", server.port(), "[9]", 1000, 150));
    int asked_at_offline = -1;
    ASSERT_TRUE(WaitFor([&] {
      if (sub.Last("site/rack1/9/availability") == "offline") asked_at_offline = asked;
      return asked_at_offline >= 0;
    })) << gateway.Log();
    EXPECT_EQ(asked_at_offline, offline_after);
    const std::string said =
        "unit rack1/9 offline after " + std::to_string(offline_after) + " missed answers";
    EXPECT_TRUE(WaitFor([&] { return gateway.Log().find(said) != std::string::npos; })) << gateway.Log();
  }
}

// A broker that holds the connection and answers nothing: the goodbye is never
// acknowledged, and the exit still comes within 2.5 s.
TEST(GatewaySite, ShutdownWithinItsTimeWhenTheBrokerStalls) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  TcpUnit unit({1});
  Gateway gateway(Broker(broker) + Bus("rack1", unit.port(), "[1]", 100, 80));
  ASSERT_TRUE(WaitFor([&] { return sub.Count("site/rack1/1/status") > 0; })) << gateway.Log();
  broker.Pause();
  QElapsedTimer clock;
  clock.start();
  gateway.Signal(SIGTERM);
  ASSERT_TRUE(gateway.Ended(5000));
  EXPECT_LT(clock.elapsed(), 2500);
  EXPECT_EQ(gateway.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(gateway.process().exitCode(), 0);
}

// Reloads that change a bus in quick succession restart its poller each time;
// its rounds stay an interval apart all the same.
TEST(GatewaySite, ReloadStormKeepsTheBusRhythm) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  TcpUnit unit({1});
  int asked = 0;
  QObject::connect(&unit.server, &kelvo_sim::UnitServer::requestSeen, [&] { ++asked; });
  const auto config = [&](int timeout_ms) {
    return Broker(broker) + Bus("rack1", unit.port(), "[1]", 1000, timeout_ms);
  };
  Gateway gateway(config(150));
  ASSERT_TRUE(WaitFor([&] { return sub.Count("site/rack1/1/status") > 0; })) << gateway.Log();

  const auto reloads = [&] {
    const std::string log = gateway.Log();
    std::size_t n = 0;
    for (std::size_t at = log.find("configuration reloaded"); at != std::string::npos;
         at = log.find("configuration reloaded", at + 1)) {
      ++n;
    }
    return n;
  };
  QElapsedTimer clock;
  clock.start();
  const int asked_before = asked;
  for (std::size_t i = 1; i <= 20; ++i) {
    gateway.Rewrite(config(i % 2 == 1 ? 160 : 150));
    gateway.Signal(SIGHUP);
    ASSERT_TRUE(WaitFor([&] { return reloads() == i; })) << gateway.Log();
  }
  // One round a second: at most one request per second begun, and the one due at the start.
  const auto allowed = static_cast<int>(clock.elapsed() / 1000) + 2;
  EXPECT_LE(asked - asked_before, allowed) << "in " << clock.elapsed() << " ms";
}

// Lines of `log` that begin with `start`.
std::size_t LinesStarting(const std::string& log, const std::string& start) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = log.find("\n" + start, at)) != std::string::npos; ++at) ++n;
  return n + (log.starts_with(start) ? 1 : 0);
}

// A serial server that closes every connection at once: its trouble is told
// once (the minute's summary is not due yet), and "back" only after an answer.
TEST(GatewaySite, FlappingLinkIsToldOnceAndBackAfterAnAnswer) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  auto flapping = std::make_unique<QTcpServer>();
  ASSERT_TRUE(flapping->listen(QHostAddress::LocalHost, 0));
  const quint16 port = flapping->serverPort();
  int accepted = 0;
  QObject::connect(flapping.get(), &QTcpServer::newConnection, [&] {
    while (QTcpSocket* socket = flapping->nextPendingConnection()) {
      ++accepted;
      socket->close();
      socket->deleteLater();
    }
  });
  const std::string url = "tcp://127.0.0.1:" + std::to_string(port);
  Gateway gateway(Broker(broker) + Bus("rack1", url, "[1]", 100, 80));
  ASSERT_TRUE(WaitFor([&] { return accepted >= 10; })) << gateway.Log();
  EXPECT_EQ(LinesStarting(gateway.Log(), "kelvo-gateway: bus rack1:"), 1u) << gateway.Log();

  flapping.reset();
  kelvo_sim::UnitServer unit(kelvo_sim::SimulatedUnit({1}, {}, 7));
  ASSERT_TRUE(unit.Listen(QString::fromStdString(url)));
  ASSERT_TRUE(WaitFor([&] {
    return gateway.Log().find(url + " back: a unit answered") != std::string::npos;
  })) << gateway.Log();
  EXPECT_EQ(LinesStarting(gateway.Log(), "kelvo-gateway: bus rack1:"), 2u) << gateway.Log();
  EXPECT_EQ(gateway.Log().find("open again"), std::string::npos) << gateway.Log();
}

// A broker that cannot be used is said in the operator's terms, not the library's codes.
TEST(GatewaySite, BrokerTroubleSaidPlainly) {
  kelvo_gateway_test::Broker plain;
  ASSERT_TRUE(plain.Start());
  QTcpServer silent;  // takes the connection and never answers
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
  std::vector<QTcpSocket*> held;
  QObject::connect(&silent, &QTcpServer::newConnection,
                   [&] { held.push_back(silent.nextPendingConnection()); });
  const struct {
    const char* name;
    std::string url;
    std::string said;
  } rows[] = {
      {"TLS to a plain port", "mqtts://127.0.0.1:" + std::to_string(plain.port()),
       "failed: not a TLS port (mqtt:// is for a plain one)"},
      {"no CONNACK", "mqtt://127.0.0.1:" + std::to_string(silent.serverPort()),
       "no answer from the broker within the keepalive of 5 s: is 127.0.0.1:" +
           std::to_string(silent.serverPort()) + " an MQTT broker?"},
  };
  for (const auto& row : rows) {
    Gateway gateway("[broker]\nurl = \"" + row.url + "\"\nkeepalive_s = 5\n" +
                    Bus("rack1", "tcp://127.0.0.1:1", "[1]"));
    EXPECT_TRUE(WaitFor([&] { return gateway.Log().find(row.said) != std::string::npos; }, 15000))
        << row.name << "\n"
        << gateway.Log();
    for (const char* library : {"Unknown error", "Invalid function arguments", "A TLS error occurred"}) {
      EXPECT_EQ(gateway.Log().find(library), std::string::npos) << row.name << "\n" << gateway.Log();
    }
  }
}

// A broker with MQTT 3.1.1 only, as far as connecting goes: it refuses an MQTT 5
// CONNECT as 3.1.1 brokers do (return code 1), and accepts a 3.1.1 one.
class OldBroker {
 public:
  OldBroker() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { Read(socket); });
      }
    });
  }
  [[nodiscard]] quint16 port() const { return server_.serverPort(); }
  std::vector<int> levels;  // the protocol level of every CONNECT, in order

 private:
  void Read(QTcpSocket* socket) {
    const QByteArray packet = socket->readAll();
    if (packet.isEmpty() || (static_cast<unsigned char>(packet[0]) >> 4) != 1) return;  // not a CONNECT
    std::size_t at = 1;
    while (at < static_cast<std::size_t>(packet.size()) && (packet[static_cast<qsizetype>(at)] & 0x80) != 0)
      ++at;
    at += 1 + 2 + 4;  // the length's last byte, then "MQTT" with its length
    if (at >= static_cast<std::size_t>(packet.size())) return;
    const int level = packet[static_cast<qsizetype>(at)];
    levels.push_back(level);
    if (level == 5) {
      socket->write(QByteArray("\x20\x02\x00\x01", 4));
      socket->disconnectFromHost();
    } else {
      socket->write(QByteArray("\x20\x02\x00\x00", 4));
    }
  }
  QTcpServer server_;
};

TEST(GatewaySite, FallsBackToMqtt311AndSaysDenialsAreUnseen) {
  OldBroker old;
  Gateway gateway("[broker]\nurl = \"mqtt://127.0.0.1:" + std::to_string(old.port()) +
                  "\"\ntopic_prefix = \"site\"\n" + Bus("rack1", "tcp://127.0.0.1:1", "[1]"));
  ASSERT_TRUE(WaitFor([&] { return gateway.Log().find("connected to") != std::string::npos; }))
      << gateway.Log();
  EXPECT_EQ(old.levels, (std::vector<int>{5, 4}));
  EXPECT_TRUE(WaitFor([&] {
    return gateway.Log().find("speaks MQTT 3.1.1 only: publishes it denies cannot be seen") !=
           std::string::npos;
  })) << gateway.Log();
}

TEST(GatewaySite, PollsBusesConcurrently) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/+/+/status");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  // Slow units: one bus after the other, bus b's first answer would come after bus a's second.
  kelvo_sim::Faults slow;
  slow.delay_ms = 400;
  TcpUnit a({1, 2}, slow);
  TcpUnit b({1, 2}, slow);
  Gateway gateway(Broker(broker) + Bus("a", a.port(), "[1, 2]", 10000, 1000) +
                  Bus("b", b.port(), "[1, 2]", 10000, 1000));
  ASSERT_TRUE(WaitFor([&] { return sub.Messages().size() >= 4; })) << gateway.Log();
  std::vector<std::string> order;
  for (const Message& m : sub.Messages()) order.push_back(m.topic);
  order.resize(2);
  std::sort(order.begin(), order.end());
  EXPECT_EQ(order, (std::vector<std::string>{"site/a/1/status", "site/b/1/status"}));
}

TEST(GatewaySite, WillAnnouncesAKilledGateway) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/gateway/availability");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  TcpUnit unit({1});
  Gateway gateway(Broker(broker) + Bus("rack1", unit.port(), "[1]"));
  ASSERT_TRUE(WaitFor([&] { return sub.Last("site/gateway/availability") == "online"; })) << gateway.Log();
  gateway.Signal(SIGKILL);
  ASSERT_TRUE(WaitFor([&] { return sub.Last("site/gateway/availability") == "offline"; }));
  Subscriber late(broker.port(), "site/gateway/availability");
  ASSERT_TRUE(WaitFor([&] { return late.Count("site/gateway/availability") == 1; }));
  EXPECT_TRUE(late.On("site/gateway/availability").front().retain);
  EXPECT_EQ(late.Last("site/gateway/availability"), "offline");
}

// Absent at start, then restarted mid-run: polling goes on, every answer
// reaches the broker once it is back, each with the time it arrived.
TEST(GatewaySite, BrokerAwayLosesNothing) {
  kelvo_gateway_test::Broker broker(/*persistence=*/true);
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#", "probe");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  broker.Stop();

  TcpUnit unit({5});
  Gateway gateway(Broker(broker, "stats_interval_ms = 200\n") + Bus("rack1", unit.port(), "[5]", 100, 80));
  ASSERT_TRUE(WaitFor([&] { return unit.answers >= 5; })) << gateway.Log();
  ASSERT_TRUE(broker.Start());
  const int before_start = unit.answers;
  ASSERT_TRUE(WaitFor([&] {
    return DistinctAnswers(sub, "site/rack1/5/status") >= std::size_t(before_start);
  })) << gateway.Log();
  EXPECT_EQ(sub.Last("site/rack1/5/availability"), "online");

  broker.Stop();
  const int at_stop = unit.answers;
  ASSERT_TRUE(WaitFor([&] { return unit.answers >= at_stop + 5; }));
  ASSERT_TRUE(broker.Start());
  const int after_restart = unit.answers;
  ASSERT_TRUE(WaitFor([&] {
    return DistinctAnswers(sub, "site/rack1/5/status") >= std::size_t(after_restart);
  })) << "got "
      << DistinctAnswers(sub, "site/rack1/5/status") << " of " << after_restart << "\n"
      << gateway.Log();
  // Availability said again on each reconnect, a restarted broker having perhaps forgotten it.
  EXPECT_GE(sub.Count("site/rack1/5/availability"), 2u);
  // Nothing was dropped, and the gateway said so.
  ASSERT_TRUE(WaitFor([&] { return sub.Count("site/gateway/stats") > 0; }));
  EXPECT_EQ(Json::parse(sub.Last("site/gateway/stats")).at("dropped"), 0);
}

TEST(GatewaySite, ReloadAppliesAGoodFileAndKeepsTheOldOneForABadOne) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/+/+/status");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  TcpUnit first({1});
  TcpUnit second({2});
  const std::string base = Broker(broker) + Bus("one", first.port(), "[1]");
  Gateway gateway(base);
  ASSERT_TRUE(WaitFor([&] { return sub.Count("site/one/1/status") > 0; })) << gateway.Log();

  gateway.Rewrite(base + Bus("two", second.port(), "[2]"));
  gateway.Signal(SIGHUP);
  ASSERT_TRUE(WaitFor([&] { return sub.Count("site/two/2/status") > 0; })) << gateway.Log();

  gateway.Rewrite(base + "[[bus]]\nname = \"three\"\nport = \"tcp://127.0.0.1:1\"\n");
  gateway.Signal(SIGHUP);
  ASSERT_TRUE(WaitFor([&] { return gateway.Log().find("reload refused") != std::string::npos; }));
  EXPECT_NE(gateway.Log().find("line 11"), std::string::npos) << gateway.Log();
  EXPECT_NE(gateway.Log().find("\"addresses\""), std::string::npos) << gateway.Log();
  const std::size_t seen = sub.Count("site/two/2/status");
  EXPECT_TRUE(WaitFor([&] { return sub.Count("site/two/2/status") > seen + 2; }));
}

TEST(GatewaySite, DiscoveryConfigsOnePerSensorRemovedWithTheirBus) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "ha/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  TcpUnit unit({4}, {}, kelvo_sim::BatteryConfig{.cells = 3, .sensors = 2});
  TcpUnit other({1});
  const std::string discovery =
      "[homeassistant]\nenabled = true\nprefix = \"ha\"\n"
      "[homeassistant.fields.\"总电压\"]\nunit = \"V\"\nscale = 0.01\ndevice_class = \"voltage\"\n"
      "[homeassistant.fields.\"单体电压数组\"]\nunit = \"mV\"\n";
  Gateway gateway(Broker(broker) + Bus("rack1", unit.port(), "[4]") + discovery);
  // 27 numeric fields of the status answer, 3 cell voltages, 2 temperatures,
  // the offline alarm, 9 derived figures and 2 energy counters; 11 figures of
  // each of two banks.
  constexpr std::size_t kSensors = 27 + 3 + 2 + 1 + 9 + 2;
  constexpr std::size_t kBankSensors = 11;
  constexpr std::size_t kAll = kSensors + 2 * kBankSensors;
  ASSERT_TRUE(WaitFor([&] { return sub.Messages().size() >= kAll; })) << gateway.Log();
  ASSERT_EQ(sub.Messages().size(), kAll);

  const std::string node = "ha/sensor/kelvo_test-gw_rack1_4/";
  const Json total = Json::parse(sub.Last(node + "field04/config"));
  EXPECT_EQ(total.at("name"), "总电压");
  EXPECT_EQ(total.at("unit_of_measurement"), "V");
  EXPECT_EQ(total.at("device_class"), "voltage");
  EXPECT_EQ(total.at("state_topic"), "site/rack1/4/status");
  EXPECT_EQ(total.at("availability_topic"), "site/rack1/4/availability");
  EXPECT_NE(total.at("value_template").get<std::string>().find("* 0.01"), std::string::npos);
  EXPECT_EQ(total.at("device").at("name"), "rack1 unit 4");
  EXPECT_TRUE(total.at("device").contains("sw_version"));  // from the unit's 0x48 answer
  const Json cell3 = Json::parse(sub.Last(node + "field06_3/config"));
  EXPECT_EQ(cell3.at("unit_of_measurement"), "mV");
  EXPECT_NE(cell3.at("value_template").get<std::string>().find("['numbers'][2]"), std::string::npos);
  // No entry: the profile's unit, read from the values.
  const Json soh = Json::parse(sub.Last(node + "field03/config"));
  EXPECT_EQ(soh.at("unit_of_measurement"), "%");
  EXPECT_EQ(soh.at("value_template"), "{{ value_json.values.soh }}");
  const Json energy = Json::parse(sub.Last(node + "energy_charged/config"));
  EXPECT_EQ(energy.at("state_class"), "total_increasing");
  EXPECT_EQ(energy.at("unit_of_measurement"), "Wh");
  const std::string bank = "ha/sensor/kelvo_test-gw_bank_rack1/";
  const Json bank_cell = Json::parse(sub.Last(bank + "cell_min/config"));
  EXPECT_EQ(bank_cell.at("state_topic"), "site/rack1/bank");
  EXPECT_EQ(bank_cell.at("value_template"), "{{ value_json.cell_min.value }}");
  EXPECT_EQ(bank_cell.at("unit_of_measurement"), "V");
  EXPECT_EQ(Json::parse(sub.Last("ha/sensor/kelvo_test-gw_bank/soc/config")).at("state_topic"), "site/bank");

  // Retained: a late subscriber gets every config.
  Subscriber late(broker.port(), "ha/#");
  ASSERT_TRUE(WaitFor([&] { return late.Messages().size() >= kAll; }));
  for (const Message& m : late.Messages()) EXPECT_TRUE(m.retain) << m.topic;

  // The bus goes from the file: every config of its unit is emptied.
  sub.Clear();
  gateway.Rewrite(Broker(broker) + Bus("rack9", other.port(), "[1]") + discovery);
  gateway.Signal(SIGHUP);
  ASSERT_TRUE(WaitFor([&] {
    std::size_t emptied = 0;
    std::size_t bank_emptied = 0;
    for (const Message& m : sub.Messages()) {
      emptied +=
          (m.topic.starts_with(node) || m.topic.starts_with("ha/binary_sensor/kelvo_test-gw_rack1_4/")) &&
          m.payload.empty();
      bank_emptied += m.topic.starts_with(bank) && m.payload.empty();
    }
    return emptied == kSensors && bank_emptied == kBankSensors;
  })) << gateway.Log();
}

// Every alarm event also goes to the webhook, the very JSON of {prefix}/events,
// with the token; the stats count them; after a reload the next go to the new URL.
TEST(GatewaySite, AlarmEventsArePostedToTheWebhook) {
  kelvo_gateway_test::Broker broker;
  ASSERT_TRUE(broker.Start());
  Subscriber sub(broker.port(), "site/#");
  ASSERT_TRUE(WaitFor([&] { return sub.subscribed(); }));
  HttpReceiver first;
  HttpReceiver second;
  ASSERT_TRUE(first.Listen());
  ASSERT_TRUE(second.Listen());
  QTemporaryDir secrets;
  const std::string token_file = secrets.filePath("token").toStdString();
  std::ofstream(token_file) << "w3bh00k-t0ken\n";
  std::filesystem::permissions(token_file,
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  TcpUnit unit({1});
  const auto config = [&](const HttpReceiver& receiver, const std::string& addresses) {
    return Broker(broker, "stats_interval_ms = 300\noffline_after = 2\n") +
           Bus("rack1", unit.port(), addresses) + "[notify]\nwebhook_url = \"" + receiver.url() +
           "\"\ntoken_file = \"" + token_file + "\"\n";
  };
  // Unit 9 never answers: its offline alarm is the event.
  Gateway gateway(config(first, "[1, 9]"));
  ASSERT_TRUE(WaitFor([&] { return !first.requests().empty() && sub.Count("site/events") > 0; }))
      << gateway.Log();
  const HttpRequest& posted = first.requests().front();
  EXPECT_EQ(posted.headers.at("authorization"), "Bearer w3bh00k-t0ken");
  EXPECT_EQ(posted.headers.at("content-type"), "application/json");
  EXPECT_EQ(posted.body.toStdString(), sub.On("site/events").front().payload);
  const Json event = Json::parse(posted.body.toStdString());
  EXPECT_EQ(event.at("address"), 9);
  EXPECT_EQ(event.at("name"), "offline");
  EXPECT_EQ(event.at("state"), "raised");
  ASSERT_TRUE(WaitFor([&] {
    const std::string stats = sub.Last("site/gateway/stats");
    return !stats.empty() && Json::parse(stats).contains("webhook") &&
           Json::parse(stats).at("webhook").at("sent") == 1;
  })) << gateway.Log();
  EXPECT_EQ(Json::parse(sub.Last("site/gateway/stats")).at("webhook"),
            Json::parse(R"({"queued": 0, "dropped": 0, "refused": 0, "sent": 1})"));

  gateway.Rewrite(config(second, "[1, 9, 10]"));
  gateway.Signal(SIGHUP);
  ASSERT_TRUE(WaitFor([&] {
    for (const HttpRequest& r : second.requests()) {
      if (Json::parse(r.body.toStdString()).at("address") == 10) return true;
    }
    return false;
  })) << gateway.Log();
  EXPECT_EQ(first.requests().size(), 1u);
  EXPECT_EQ(gateway.Log().find("w3bh00k"), std::string::npos) << gateway.Log();
}

}  // namespace
}  // namespace kelvo_gateway_test

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
