#include "gateway/gateway.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>

#include "gateway/bus_poller.h"
#include "gateway/discovery.h"
#include "gateway/site_publisher.h"
#include "records/record.h"
#include "records/record_time.h"
#include "records/record_writer.h"

namespace kelvo_gateway {
namespace {

// Time the broker has to take the gateway's "offline" on the way out.
constexpr int kGoodbyeWaitMs = 2000;

MqttSettings SettingsOf(const BrokerConfig& b) {
  MqttSettings s;
  s.host = b.host;
  s.port = b.port;
  s.tls = b.tls;
  s.ca_file = b.ca_file;
  s.client_id = b.client_id;
  s.username = b.username;
  s.password = b.password;
  s.keepalive_s = b.keepalive_s;
  return s;
}

bool SameConnection(const BrokerConfig& a, const BrokerConfig& b) {
  return a.url == b.url && a.client_id == b.client_id && a.topic_prefix == b.topic_prefix &&
         a.username == b.username && a.password == b.password && a.ca_file == b.ca_file &&
         a.keepalive_s == b.keepalive_s;
}

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
  publisher_ = std::make_unique<SitePublisher>(SettingsOf(config_.broker),
                                               config_.broker.topic_prefix + "/gateway/availability",
                                               static_cast<std::size_t>(config_.broker.max_queued));
  connect(publisher_.get(), &SitePublisher::connectionChanged, this, [this](bool up, const QString& reason) {
    Log(up ? "connected to " + config_.broker.url
           : "broker " + config_.broker.url + ": " + reason.toStdString() + "; trying again");
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

void Gateway::StartPoller(const BusConfig& bus) {
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
  poller->Start();
  pollers_[name] = std::move(poller);
}

std::string Gateway::UnitTopic(const UnitKey& key, const char* leaf) const {
  return config_.broker.topic_prefix + "/" + key.first + "/" + std::to_string(key.second) + "/" + leaf;
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
  publisher_->PublishStatus(UnitTopic(key, "status"), kelvo_records::JsonRecord(record));
  unit.misses = 0;
  SetAvailability(key, unit, Availability::Online);
  if (config_.discovery.enabled) {
    const bool first = unit.status_frame.empty();
    unit.status_frame = std::move(record.frame);
    if (first && unit.identity) PublishDiscovery(key, unit);
  }
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
    Log("unit " + key.first + "/" + std::to_string(key.second) + " offline after " +
        std::to_string(unit.misses) + " missed answers");
  }
  publisher_->SetRetained(UnitTopic(key, "availability"),
                          availability == Availability::Online ? "online" : "offline");
}

void Gateway::PublishDiscovery(const UnitKey& key, Unit& unit) {
  const std::vector<DiscoveryMessage> messages =
      DiscoveryConfigs(config_.discovery, config_.broker.client_id, key.first, key.second,
                       {UnitTopic(key, "status"), UnitTopic(key, "availability")}, unit.status_frame,
                       unit.identity.value_or(std::string()));
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

void Gateway::ForgetUnit(const UnitKey& key, Unit& unit, const std::string& prefix) {
  for (const std::string& topic : unit.discovery_topics) publisher_->ClearRetained(topic);
  unit.discovery_topics.clear();
  publisher_->ClearRetained(prefix + "/" + key.first + "/" + std::to_string(key.second) + "/availability");
}

void Gateway::PublishStats() {
  publisher_->PublishTransient(config_.broker.topic_prefix + "/gateway/stats",
                               StatsJson(kelvo_records::FormatTime(std::chrono::system_clock::now()),
                                         publisher_->queued(), publisher_->dropped(), counters_));
}

void Gateway::Reload() {
  if (stopping_) return;
  ConfigResult loaded = LoadGatewayConfig(path_);
  if (!loaded.config) {
    Log("reload refused, the configuration in use stays: " + loaded.error);
    return;
  }
  GatewayConfig next = std::move(*loaded.config);
  GatewayConfig old = std::move(config_);
  config_ = std::move(next);

  // Units that are gone, or whose topics or discovery change, are forgotten first.
  std::set<UnitKey> wanted;
  for (const BusConfig& bus : config_.buses) {
    for (int address : bus.addresses) wanted.insert({bus.name, address});
  }
  const bool topics_moved = old.broker.topic_prefix != config_.broker.topic_prefix;
  for (auto it = units_.begin(); it != units_.end();) {
    if (!wanted.contains(it->first) || topics_moved) {
      ForgetUnit(it->first, it->second, old.broker.topic_prefix);
      it = units_.erase(it);
    } else {
      ++it;
    }
  }

  if (!SameConnection(old.broker, config_.broker)) {
    publisher_->Reconnect(SettingsOf(config_.broker), config_.broker.topic_prefix + "/gateway/availability");
  }
  publisher_->SetMaxQueued(static_cast<std::size_t>(config_.broker.max_queued));
  stats_timer_.setInterval(config_.broker.stats_interval_ms);

  const bool discovery_changed = !(old.discovery == config_.discovery);
  for (auto it = pollers_.begin(); it != pollers_.end();) {
    const auto same = std::find(config_.buses.begin(), config_.buses.end(), it->second->config());
    if (same == config_.buses.end() || discovery_changed) {
      it = pollers_.erase(it);
    } else {
      ++it;
    }
  }
  for (const BusConfig& bus : config_.buses) {
    if (!pollers_.contains(bus.name)) StartPoller(bus);
  }
  for (auto it = counters_.begin(); it != counters_.end();) {
    it = pollers_.contains(it->first) ? std::next(it) : counters_.erase(it);
  }
  if (discovery_changed) {
    for (auto& [key, unit] : units_) {
      if (config_.discovery.enabled && !unit.status_frame.empty() && unit.identity) {
        PublishDiscovery(key, unit);
      } else {
        for (const std::string& topic : unit.discovery_topics) publisher_->ClearRetained(topic);
        unit.discovery_topics.clear();
      }
    }
  }
  Log("configuration reloaded from " + path_);
}

void Gateway::Shutdown() {
  if (stopping_) return;
  stopping_ = true;
  stats_timer_.stop();
  pollers_.clear();
  publisher_->Shutdown(kGoodbyeWaitMs);
}

}  // namespace kelvo_gateway
