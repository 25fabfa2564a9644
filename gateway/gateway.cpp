#include "gateway/gateway.h"

#include <chrono>
#include <cstdio>
#include <set>

#include "alarms/alarm_json.h"
#include "codec/frame_breakdown.h"
#include "gateway/bank_discovery.h"
#include "gateway/bus_poller.h"
#include "gateway/discovery.h"
#include "gateway/reload_plan.h"
#include "gateway/site_publisher.h"
#include "gateway/webhook_notifier.h"
#include "profile/profile_values.h"
#include "records/record.h"
#include "records/record_time.h"
#include "records/record_writer.h"

namespace kelvo_gateway {
namespace {

// Time the broker has to take the queued messages and the gateway's "offline"
// on the way out; with the client's last writes (MqttClient::kLastWritesMs)
// and the teardown, a shutdown stays within 2.5 s whatever the broker does.
constexpr int kGoodbyeWaitMs = 1500;
// A crash loses at most this much of the energy counters.
constexpr int kEnergySaveMs = 5000;
// Power is integrated across at most this many missed rounds' worth of time.
constexpr int kLongestBridgedIntervals = 3;

std::string EventCount(std::uint64_t n) {
  return std::to_string(n) + (n == 1 ? " event" : " events");
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
  connect(publisher_.get(), &SitePublisher::stopped, this, [this] {
    // The webhook had the goodbye's time and no more: what still waits is lost.
    if (webhook_ && webhook_->counts().queued > 0)
      Log("webhook: " + EventCount(webhook_->counts().queued) + " not delivered, lost at exit");
    webhook_.reset();
    emit finished();
  });
  connect(publisher_.get(), &SitePublisher::received, this, &Gateway::OnAcknowledgement);
  connect(&stats_timer_, &QTimer::timeout, this, &Gateway::PublishStats);
  connect(&stats_timer_, &QTimer::timeout, this, &Gateway::PublishSiteBank);
  connect(&energy_timer_, &QTimer::timeout, this, &Gateway::SaveEnergy);
  publisher_->SetProfile(config_.site.profile);
  ApplyNotifyChanges();
}

Gateway::~Gateway() = default;

void Gateway::Start() {
  StartEnergyCounters();
  PublishBankDiscovery();
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
  connect(poller.get(), &BusPoller::roundStarted, this, [this, name](bool link_down) {
    PublishAlarmChanges(name, AlarmsOf(name).Round(link_down, std::chrono::system_clock::now()));
  });
  connect(poller.get(), &BusPoller::roundEnded, this, [this, name] { PublishBusBank(name); });
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
  // Cut and valued once, for the message, the bank, the counters and the rules.
  const std::optional<codec::FrameItems> items = codec::TryBreakDownFrame(record.frame);
  std::optional<EnergyTotals> energy;
  std::vector<kelvo_profile::ProfileValue> values;
  if (config_.site.profile) {
    if (!unit.energy_restored) {
      unit.energy_restored = true;
      if (const auto kept = kept_energy_.find(key); kept != kept_energy_.end())
        unit.energy.Restore(kept->second);
    }
    if (items) energy = TakeValues(key, unit, record, *items, values);
  }
  const std::chrono::system_clock::time_point at_time = record.time;
  const bool first_frame = config_.discovery.enabled && unit.status_frame.empty();
  if (config_.discovery.enabled) unit.status_frame = record.frame;
  if (!unit.status_topic) unit.status_topic = std::make_shared<const std::string>(TopicsOfUnit(key).status);
  publisher_->PublishAnswer(unit.status_topic, std::move(record), items ? &*items : nullptr, values, energy);
  if (energy) {
    // Rules may watch the counters too.
    values.push_back({kEnergyKeys[0], kelvo_profile::ValueKind::Number, energy->charged_wh, {}, {}, 3});
    values.push_back({kEnergyKeys[1], kelvo_profile::ValueKind::Number, energy->discharged_wh, {}, {}, 3});
  }
  unit.misses = 0;
  PublishAlarmChanges(bus, AlarmsOf(bus).Answered(address, values, at_time));
  SetAvailability(key, unit, Availability::Online);
  if (first_frame && unit.identity) PublishDiscovery(key, unit);
}

std::optional<EnergyTotals> Gateway::TakeValues(const UnitKey& key, Unit& unit,
                                                const kelvo_records::Record& record,
                                                const codec::FrameItems& items,
                                                std::vector<kelvo_profile::ProfileValue>& values) {
  std::optional<std::vector<kelvo_profile::ProfileValue>> applied =
      kelvo_profile::ApplyProfile(*config_.site.profile, items);
  if (!applied) return std::nullopt;
  values = std::move(*applied);
  unit.bank = BankInputsOf(values);
  const BusConfig* bus = BusNamed(key.bus);
  const std::chrono::milliseconds interval(bus != nullptr ? bus->interval_ms : 1000);
  unit.fresh_until = record.time + interval * config_.broker.offline_after;
  if (const kelvo_profile::ProfileValue* power = kelvo_profile::FindValue(values, "power");
      power != nullptr && power->kind == kelvo_profile::ValueKind::Number) {
    unit.energy.Add(record.time, power->number, interval * kLongestBridgedIntervals);
  } else {
    unit.energy.Break();
  }
  return unit.energy.totals();
}

const BusConfig* Gateway::BusNamed(const std::string& name) const {
  for (const BusConfig& bus : config_.buses) {
    if (bus.name == name) return &bus;
  }
  return nullptr;
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
    PublishAlarmChanges(key.bus,
                        AlarmsOf(key.bus).WentOffline(key.address, std::chrono::system_clock::now()));
  }
  if (!unit.alarms_said) {
    // Every unit's list stands from its first contact, [] while nothing is active.
    unit.alarms_said = true;
    PublishAlarmList(key);
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
                                           .identity_frame = unit.identity.value_or(std::string()),
                                           .profile = config_.site.profile.get(),
                                           .alarms = config_.alarms.get()});
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

kelvo_alarms::BusAlarms& Gateway::AlarmsOf(const std::string& bus) {
  auto found = alarms_.find(bus);
  if (found == alarms_.end()) {
    found = alarms_.try_emplace(bus, bus, config_.alarms, config_.broker.offline_after).first;
    // The bus's list stands from the start, [] while its link is up.
    publisher_->SetRetained(BusAlarmsTopic(config_.broker.topic_prefix, bus),
                            kelvo_alarms::AlarmsJson(std::chrono::system_clock::now(), {}).dump());
  }
  return found->second;
}

void Gateway::PublishAlarmList(const UnitKey& key) {
  const kelvo_alarms::BusAlarms& alarms = AlarmsOf(key.bus);
  publisher_->SetRetained(
      TopicsOfUnit(key).alarms,
      kelvo_alarms::AlarmsJson(std::chrono::system_clock::now(), alarms.Active(key.address)).dump());
}

void Gateway::PublishEvents(const std::vector<kelvo_alarms::AlarmEvent>& events) {
  if (events.empty()) return;
  if (!events_topic_ || *events_topic_ != EventsTopic(config_.broker.topic_prefix)) {
    events_topic_ = std::make_shared<const std::string>(EventsTopic(config_.broker.topic_prefix));
  }
  for (const kelvo_alarms::AlarmEvent& event : events) {
    nlohmann::ordered_json json = kelvo_alarms::EventJson(event);
    publisher_->PublishQueued(events_topic_, json.dump());
    if (webhook_) webhook_->Post(std::move(json));
  }
}

void Gateway::PublishAlarmChanges(const std::string& bus,
                                  const std::vector<kelvo_alarms::AlarmEvent>& events) {
  if (events.empty()) return;
  PublishEvents(events);
  std::set<int> units;
  bool bus_changed = false;
  for (const kelvo_alarms::AlarmEvent& event : events) {
    if (event.address) {
      units.insert(*event.address);
    } else {
      bus_changed = true;
    }
  }
  const auto now = std::chrono::system_clock::now();
  const kelvo_alarms::BusAlarms& alarms = AlarmsOf(bus);
  for (const int address : units) {
    const UnitKey key{bus, address};
    units_[key].alarms_said = true;
    publisher_->SetRetained(TopicsOfUnit(key).alarms,
                            kelvo_alarms::AlarmsJson(now, alarms.Active(address)).dump());
  }
  if (bus_changed) {
    publisher_->SetRetained(BusAlarmsTopic(config_.broker.topic_prefix, bus),
                            kelvo_alarms::AlarmsJson(now, alarms.BusActive()).dump());
  }
}

void Gateway::ApplyAlarmChanges(const std::string& old_prefix) {
  const auto now = std::chrono::system_clock::now();
  for (auto it = alarms_.begin(); it != alarms_.end();) {
    kelvo_alarms::BusAlarms& alarms = it->second;
    if (BusNamed(it->first) != nullptr && old_prefix == config_.broker.topic_prefix) {
      alarms.SetOfflineAfter(config_.broker.offline_after);
      PublishAlarmChanges(it->first, alarms.ReplaceRules(config_.alarms, now));
      ++it;
      continue;
    }
    // A bus gone, or every bus when the topics move: its alarms clear, and its lists go.
    std::vector<int> addresses;
    for (const auto& [address, unit] : alarms.units()) addresses.push_back(address);
    for (const int address : addresses) {
      PublishEvents(alarms.Forget(address, now));
      publisher_->ClearRetained(TopicsOf(old_prefix, {it->first, address}).alarms);
    }
    publisher_->ClearRetained(BusAlarmsTopic(old_prefix, it->first));
    it = alarms_.erase(it);
  }
  for (auto& [key, unit] : units_) {
    if (!alarms_.contains(key.bus)) unit.alarms_said = false;
  }
}

void Gateway::OnAcknowledgement(const QString& topic, const QByteArray& payload, bool retained) {
  const std::string where = topic.toStdString();
  const std::string what = payload.trimmed().toStdString();
  const std::optional<UnitKey> unit = AckedUnit(config_.broker.topic_prefix, where);
  const auto ignore = [&](const std::string& why) {
    // Said once per topic, so that a flood of bad acknowledgements cannot fill the log.
    constexpr std::size_t kMostTold = 1000;
    if (told_acks_.size() < kMostTold && told_acks_.insert(where).second)
      Log("acknowledgement on " + where + " ignored: " + why);
  };
  if (retained)
    return ignore("a retained message is no acknowledgement (clear it with an empty retained one)");
  if (!unit || !units_.contains(*unit) || !alarms_.contains(unit->bus))
    return ignore("no unit of this gateway");
  kelvo_alarms::AckResult result =
      alarms_.at(unit->bus).Acknowledge(unit->address, what, std::chrono::system_clock::now());
  if (!result.known) {
    return ignore("\"" + (what.size() > 64 ? what.substr(0, 64) + "..." : what) +
                  "\" is no alarm name (a rule's, offline, or * for all)");
  }
  PublishAlarmChanges(unit->bus, result.events);
}

void Gateway::PublishBankDiscovery() {
  std::set<std::string> now;
  if (config_.discovery.enabled && config_.site.profile) {
    const std::string& prefix = config_.broker.topic_prefix;
    std::vector<DiscoveredBank> banks;
    for (const BusConfig& bus : config_.buses)
      banks.push_back({{}, bus.name, BusBankTopic(prefix, bus.name), {}, {}});
    banks.push_back({{}, {}, SiteBankTopic(prefix), {}, {}});
    for (DiscoveredBank& bank : banks) {
      bank.client_id = config_.broker.client_id;
      bank.availability_topic = GatewayAvailabilityTopic(prefix);
      bank.profile = config_.site.profile.get();
      for (const DiscoveryMessage& m : BankDiscoveryConfigs(config_.discovery, bank)) {
        now.insert(m.topic);
        publisher_->SetRetained(m.topic, m.payload);
      }
    }
  }
  for (const std::string& old : bank_discovery_topics_) {
    if (!now.contains(old)) publisher_->ClearRetained(old);
  }
  bank_discovery_topics_ = std::move(now);
}

void Gateway::PublishStats() {
  const WebhookCounts webhook = webhook_ ? webhook_->counts() : WebhookCounts{};
  publisher_->PublishTransient(
      GatewayStatsTopic(config_.broker.topic_prefix),
      StatsJson(kelvo_records::FormatTime(std::chrono::system_clock::now()), publisher_->queued(),
                publisher_->dropped(), counters_, webhook_ ? &webhook : nullptr));
}

void Gateway::PublishBusBank(const std::string& bus) {
  if (!config_.site.profile) return;
  const BusConfig* config = BusNamed(bus);
  if (config == nullptr) return;
  const auto now = std::chrono::system_clock::now();
  std::vector<UnitKey> keys;
  keys.reserve(config->addresses.size());
  for (const int address : config->addresses) keys.push_back({bus, address});
  std::vector<BankMember> members;
  members.reserve(keys.size());
  for (const UnitKey& key : keys) members.push_back(Member(key, now));
  publisher_->SetRetained(BusBankTopic(config_.broker.topic_prefix, bus),
                          BankJson(kelvo_records::FormatTime(now), members).dump());
}

void Gateway::PublishSiteBank() {
  if (!config_.site.profile) return;
  const auto now = std::chrono::system_clock::now();
  std::vector<UnitKey> keys;
  for (const BusConfig& bus : config_.buses) {
    for (const int address : bus.addresses) keys.push_back({bus.name, address});
  }
  std::vector<BankMember> members;
  members.reserve(keys.size());
  for (const UnitKey& key : keys) members.push_back(Member(key, now));
  nlohmann::ordered_json bank = BankJson(kelvo_records::FormatTime(now), members);
  kelvo_alarms::SeverityCounts counts;
  for (const auto& [bus, alarms] : alarms_) {
    counts.Add(alarms.BusActive());
    for (const auto& [address, unit] : alarms.units()) counts.Add(alarms.Active(address));
  }
  bank["alarms"] = kelvo_alarms::SeverityCountsJson(counts);
  publisher_->SetRetained(SiteBankTopic(config_.broker.topic_prefix), bank.dump());
}

BankMember Gateway::Member(const UnitKey& key, std::chrono::system_clock::time_point now) const {
  const auto found = units_.find(key);
  if (found == units_.end() || !found->second.bank) return {&key, nullptr, false};
  const Unit& unit = found->second;
  return {&key, &*unit.bank, unit.availability == Availability::Online && now <= unit.fresh_until};
}

void Gateway::StartEnergyCounters() {
  if (!config_.site.profile || energy_writer_) return;
  EnergyStateRead kept = ReadEnergyState(config_.site.state_dir);
  if (!kept.problem.empty()) Log(kept.problem);
  kept_energy_ = std::move(kept.totals);
  saved_energy_ = kept_energy_;
  energy_writer_ = std::make_unique<EnergyStateWriter>();
  energy_timer_.start(kEnergySaveMs);
}

void Gateway::SaveEnergy() {
  if (!energy_writer_) return;
  EnergyTotalsByUnit now = kept_energy_;
  for (const auto& [key, unit] : units_) {
    const EnergyTotals totals = unit.energy.totals();
    if (totals != EnergyTotals{} || now.contains(key)) now[key] = totals;
  }
  if (std::optional<std::string> fault = energy_writer_->TakeNewFault()) {
    Log(fault->empty() ? "energy counters kept in " + EnergyStatePath(config_.site.state_dir) + " again"
                       : *fault + ": the energy counters are not kept, trying again");
  }
  if (now == saved_energy_) return;
  saved_energy_ = now;
  energy_writer_->Offer(config_.site.state_dir, std::move(now));
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
  ApplyBusChanges(plan, old_prefix);
  ApplySiteChanges();
  ApplyNotifyChanges();
  ApplyAlarmChanges(old_prefix);
  if (plan.discovery_changed || plan.profile_changed || plan.alarm_names_changed) {
    ApplyDiscoveryChanges();
  } else {
    PublishBankDiscovery();  // bank devices follow the buses
  }
  Log("configuration reloaded from " + path_);
}

void Gateway::ForgetUnits(const std::vector<UnitKey>& units, const std::string& prefix) {
  for (const UnitKey& key : units) {
    const auto found = units_.find(key);
    if (found == units_.end()) continue;
    for (const std::string& topic : found->second.discovery_topics) publisher_->ClearRetained(topic);
    publisher_->ClearRetained(TopicsOf(prefix, key).availability);
    if (const auto alarms = alarms_.find(key.bus); alarms != alarms_.end()) {
      PublishEvents(alarms->second.Forget(key.address, std::chrono::system_clock::now()));
      publisher_->ClearRetained(TopicsOf(prefix, key).alarms);
    }
    // Its counters go on from here should it come back.
    if (found->second.energy.totals() != EnergyTotals{}) kept_energy_[key] = found->second.energy.totals();
    units_.erase(found);
  }
}

void Gateway::ApplyBrokerChanges(bool reconnect) {
  if (reconnect) publisher_->Reconnect(ConnectionSettings(config_.broker));
  publisher_->SetMaxQueued(static_cast<std::size_t>(config_.broker.max_queued));
  stats_timer_.setInterval(config_.broker.stats_interval_ms);
}

void Gateway::ApplySiteChanges() {
  publisher_->SetProfile(config_.site.profile);
  StartEnergyCounters();
}

void Gateway::ApplyBusChanges(const ReloadPlan& plan, const std::string& old_prefix) {
  // A restarted bus keeps its rhythm: reloads in quick succession never poll it faster.
  std::map<std::string, int> next_round_in;
  for (const BusConfig& bus : plan.start) {
    if (const auto old = pollers_.find(bus.name); old != pollers_.end()) {
      next_round_in[bus.name] = old->second->NextRoundInMs(bus.interval_ms);
    }
  }
  // Banks of buses gone, or every bank when the topics move, are cleared.
  const bool moved = old_prefix != config_.broker.topic_prefix;
  for (const auto& [name, poller] : pollers_) {
    if (moved || BusNamed(name) == nullptr) publisher_->ClearRetained(BusBankTopic(old_prefix, name));
  }
  if (moved) publisher_->ClearRetained(SiteBankTopic(old_prefix));
  for (const std::string& name : plan.stop) pollers_.erase(name);
  for (const BusConfig& bus : plan.start) StartPoller(bus, next_round_in[bus.name]);
  std::erase_if(counters_, [this](const auto& entry) { return !pollers_.contains(entry.first); });
}

void Gateway::ApplyDiscoveryChanges() {
  PublishBankDiscovery();
  for (auto& [key, unit] : units_) {
    if (config_.discovery.enabled && !unit.status_frame.empty() && unit.identity) {
      PublishDiscovery(key, unit);
    } else {
      for (const std::string& topic : unit.discovery_topics) publisher_->ClearRetained(topic);
      unit.discovery_topics.clear();
    }
  }
}

void Gateway::ApplyNotifyChanges() {
  if (!config_.notify) {
    if (webhook_ && webhook_->counts().queued > 0)
      Log("webhook removed: " + EventCount(webhook_->counts().queued) + " not delivered, dropped");
    webhook_.reset();
  } else if (!webhook_) {
    webhook_ = std::make_unique<WebhookNotifier>(*config_.notify);
    connect(webhook_.get(), &WebhookNotifier::note, this,
            [](const QString& text) { Log(text.toStdString()); });
  } else if (webhook_->config() != *config_.notify) {
    webhook_->SetConfig(*config_.notify);
  }
}

void Gateway::Shutdown() {
  if (stopping_) return;
  stopping_ = true;
  stats_timer_.stop();
  energy_timer_.stop();
  SaveEnergy();
  pollers_.clear();
  publisher_->Shutdown(kGoodbyeWaitMs);
}

}  // namespace kelvo_gateway
