#include "gateway/gateway.h"

#include <chrono>
#include <cstdio>
#include <set>

#include "gateway/bus_poller.h"
#include "gateway/discovery.h"
#include "gateway/reload_plan.h"
#include "gateway/site_publisher.h"
#include "records/record.h"
#include "records/record_time.h"
#include "records/record_writer.h"

namespace kelvo_gateway {
namespace {

// Time the broker has to take the queued messages and the gateway's "offline"
// on the way out; with the client's last writes (MqttClient::kLastWritesMs)
// and the teardown, a shutdown stays within 2.5 s whatever the broker does.
constexpr int kGoodbyeWaitMs = 1500;

std::chrono::system_clock::time_point TimePoint(const QDateTime& at) {
  return std::chrono::system_clock::time_point(std::chrono::milliseconds(at.toMSecsSinceEpoch()));
}

}  // namespace

void Log(const std::string& text) {
  std::fprintf(stderr, "kelvo-gateway: %s\n", text.c_str());
  std::fflush(stderr);
}

Gateway::Gateway(GatewayConfig config, std::string config_path, QObject* parent)
    : QObject(parent), config_(std::move(config)), path_(std::move(config_path)) {
  publisher_ = std::make_unique<SitePublisher>(ConnectionSettings(config_.broker),
                                               static_cast<std::size_t>(config_.broker.max_queued));
  connect(publisher_.get(), &SitePublisher::connectionChanged, this, [this](bool up, const QString& reason) {
    Log(up ? "connected to " + config_.broker.url
           : "broker " + config_.broker.url + ": " + reason.toStdString() + "; trying again");
  });
  connect(publisher_.get(), &SitePublisher::messageLost, this, [](const QString& topic, const QString& why) {
    Log("messages to " + topic.toStdString() + " are dropped and counted: " + why.toStdString());
  });
  connect(publisher_.get(), &SitePublisher::denialsUnseen, this, [this] {
    if (told_denials_unseen_) return;
    told_denials_unseen_ = true;
    Log("broker " + config_.broker.url +
        " speaks MQTT 3.1.1 only: publishes it denies cannot be seen; check its ACL for the topics under " +
        config_.broker.topic_prefix + "/");
  });
  connect(publisher_.get(), &SitePublisher::stopped, this, &Gateway::finished);
  connect(&stats_timer_, &QTimer::timeout, this, &Gateway::PublishStats);
}

Gateway::~Gateway() = default;

void Gateway::Start() {
  publisher_->Start();
  for (const BusConfig& bus : config_.buses) StartPoller(bus);
  stats_timer_.start(config_.broker.stats_interval_ms);
}

void Gateway::StartPoller(const BusConfig& bus, int first_round_in_ms) {
  auto poller = std::make_unique<BusPoller>(bus, config_.discovery.enabled);
  const std::string name = bus.name;
  counters_[name];
  connect(poller.get(), &BusPoller::answered, this,
          [this, name](int address, const QByteArray& frame, const QDateTime& at, double latency) {
            OnAnswered(name, address, frame, at, latency);
          });
  connect(poller.get(), &BusPoller::missed, this,
          [this, name](int address, const QString& reason) { OnMissed(name, address, reason); });
  connect(poller.get(), &BusPoller::identified, this,
          [this, name](int address, const QByteArray& frame) { OnIdentified(name, address, frame); });
  connect(poller.get(), &BusPoller::linkNote, this,
          [name](const QString& text) { Log("bus " + name + ": " + text.toStdString()); });
  poller->Start(first_round_in_ms);
  pollers_[name] = std::move(poller);
}

UnitTopics Gateway::TopicsOfUnit(const UnitKey& key) const {
  return TopicsOf(config_.broker.topic_prefix, key);
}

void Gateway::OnAnswered(const std::string& bus, int address, const QByteArray& frame, const QDateTime& at,
                         double latency_ms) {
  BusCounters& c = counters_[bus];
  ++c.requests;
  ++c.answered;
  c.latency.Add(latency_ms);
  const UnitKey key{bus, address};
  Unit& unit = units_[key];
  kelvo_records::Record record{TimePoint(at), address, frame.toStdString(), latency_ms};
  const bool first_frame = config_.discovery.enabled && unit.status_frame.empty();
  if (config_.discovery.enabled) unit.status_frame = record.frame;
  publisher_->PublishStatus(TopicsOfUnit(key).status, std::move(record));
  unit.misses = 0;
  SetAvailability(key, unit, Availability::Online);
  if (first_frame && unit.identity) PublishDiscovery(key, unit);
}

void Gateway::OnMissed(const std::string& bus, int address, const QString&) {
  BusCounters& c = counters_[bus];
  ++c.requests;
  ++c.failed;
  const UnitKey key{bus, address};
  Unit& unit = units_[key];
  if (++unit.misses >= config_.broker.offline_after) SetAvailability(key, unit, Availability::Offline);
}

void Gateway::OnIdentified(const std::string& bus, int address, const QByteArray& frame) {
  const UnitKey key{bus, address};
  Unit& unit = units_[key];
  unit.identity = frame.toStdString();
  if (config_.discovery.enabled && !unit.status_frame.empty()) PublishDiscovery(key, unit);
}

void Gateway::SetAvailability(const UnitKey& key, Unit& unit, Availability availability) {
  if (unit.availability == availability) return;
  unit.availability = availability;
  if (availability == Availability::Offline) {
    Log("unit " + key.bus + "/" + std::to_string(key.address) + " offline after " +
        std::to_string(unit.misses) + " missed answers");
  }
  publisher_->SetRetained(TopicsOfUnit(key).availability,
                          availability == Availability::Online ? "online" : "offline");
}

void Gateway::PublishDiscovery(const UnitKey& key, Unit& unit) {
  const std::vector<DiscoveryMessage> messages =
      DiscoveryConfigs(config_.discovery, {.client_id = config_.broker.client_id,
                                           .key = key,
                                           .topics = TopicsOfUnit(key),
                                           .status_frame = unit.status_frame,
                                           .identity_frame = unit.identity.value_or(std::string())});
  std::set<std::string> now;
  for (const DiscoveryMessage& m : messages) {
    now.insert(m.topic);
    publisher_->SetRetained(m.topic, m.payload);
  }
  for (const std::string& old : unit.discovery_topics) {
    if (!now.contains(old)) publisher_->ClearRetained(old);
  }
  unit.discovery_topics.assign(now.begin(), now.end());
}

void Gateway::PublishStats() {
  publisher_->PublishTransient(GatewayStatsTopic(config_.broker.topic_prefix),
                               StatsJson(kelvo_records::FormatTime(std::chrono::system_clock::now()),
                                         publisher_->queued(), publisher_->dropped(), counters_));
}

void Gateway::Reload() {
  if (stopping_) return;
  std::vector<UnitKey> known;
  for (const auto& [key, unit] : units_) known.push_back(key);
  ReloadPlan plan = PlanReload(config_, LoadGatewayConfig(path_), known);
  if (!plan.next) {
    Log("reload refused, the configuration in use stays: " + plan.refusal);
    return;
  }
  const std::string old_prefix = config_.broker.topic_prefix;
  config_ = std::move(*plan.next);
  // Gone units are cleared first, through the connection that announced them.
  ForgetUnits(plan.forget, old_prefix);
  ApplyBrokerChanges(plan.reconnect);
  ApplyBusChanges(plan);
  if (plan.discovery_changed) ApplyDiscoveryChanges();
  Log("configuration reloaded from " + path_);
}

void Gateway::ForgetUnits(const std::vector<UnitKey>& units, const std::string& prefix) {
  for (const UnitKey& key : units) {
    const auto found = units_.find(key);
    if (found == units_.end()) continue;
    for (const std::string& topic : found->second.discovery_topics) publisher_->ClearRetained(topic);
    publisher_->ClearRetained(TopicsOf(prefix, key).availability);
    units_.erase(found);
  }
}

void Gateway::ApplyBrokerChanges(bool reconnect) {
  if (reconnect) publisher_->Reconnect(ConnectionSettings(config_.broker));
  publisher_->SetMaxQueued(static_cast<std::size_t>(config_.broker.max_queued));
  stats_timer_.setInterval(config_.broker.stats_interval_ms);
}

void Gateway::ApplyBusChanges(const ReloadPlan& plan) {
  // A restarted bus keeps its rhythm: reloads in quick succession never poll it faster.
  std::map<std::string, int> next_round_in;
  for (const BusConfig& bus : plan.start) {
    if (const auto old = pollers_.find(bus.name); old != pollers_.end()) {
      next_round_in[bus.name] = old->second->NextRoundInMs(bus.interval_ms);
    }
  }
  for (const std::string& name : plan.stop) pollers_.erase(name);
  for (const BusConfig& bus : plan.start) StartPoller(bus, next_round_in[bus.name]);
  std::erase_if(counters_, [this](const auto& entry) { return !pollers_.contains(entry.first); });
}

void Gateway::ApplyDiscoveryChanges() {
  for (auto& [key, unit] : units_) {
    if (config_.discovery.enabled && !unit.status_frame.empty() && unit.identity) {
      PublishDiscovery(key, unit);
    } else {
      for (const std::string& topic : unit.discovery_topics) publisher_->ClearRetained(topic);
      unit.discovery_topics.clear();
    }
  }
}

void Gateway::Shutdown() {
  if (stopping_) return;
  stopping_ = true;
  stats_timer_.stop();
  pollers_.clear();
  publisher_->Shutdown(kGoodbyeWaitMs);
}

}  // namespace kelvo_gateway
