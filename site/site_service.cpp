#include "site/site_service.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "site/iso_time.h"

namespace kelvo_site {
namespace {

using Json = nlohmann::json;
constexpr int kPushMs = 1000;
constexpr int kReloadStateMs = 3000;
// Bank, alarm and event messages longer than this are refused: no gateway writes one.
constexpr qsizetype kMaxMessageBytes = 256 * 1024;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Text(const QByteArray& payload) {
  return payload.toStdString();
}

std::string Dumped(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

kelvo_mqtt::MqttSettings Settings(const SiteBroker& b) {
  kelvo_mqtt::MqttSettings s;
  s.host = b.host;
  s.port = b.port;
  s.tls = b.tls;
  s.ca_file = b.ca_file;
  s.client_id = b.client_id;
  s.username = b.username;
  s.password = b.password;
  for (const std::string& prefix : b.topic_prefixes) {
    for (std::string& filter : TopicFilters(prefix)) s.subscriptions.push_back(std::move(filter));
  }
  return s;
}

}  // namespace

void Log(const std::string& text) {
  std::fprintf(stderr, "kelvo-site: %s\n", text.c_str());
  std::fflush(stderr);
}

SiteService::SiteService(SiteConfig config, std::string config_path, std::string page_dir, StoreOpener open,
                         QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      path_(std::move(config_path)),
      page_dir_(std::move(page_dir)),
      live_(
          [this] {
            return "{\"type\":\"hello\",\"time\":\"" + FormatIsoTime(NowMs()) +
                   "\",\"health\":" + HealthJson() + "}";
          },
          [this](const std::string& token) { return TokenOk(token); }) {
  reader_ = std::make_unique<StoreReader>(open);
  writer_ = std::make_unique<StoreWriter>(std::move(open), [this](bool is_open, const std::string& what) {
    QMetaObject::invokeMethod(
        this, [this, is_open, what] { OnStoreState(is_open, what); }, Qt::QueuedConnection);
  });
  push_timer_.setInterval(kPushMs);
  connect(&push_timer_, &QTimer::timeout, this, &SiteService::PushChanges);
  http_.SetCommonHeaders({{"X-Content-Type-Options", "nosniff"},
                          {"X-Frame-Options", "DENY"},
                          {"Content-Security-Policy",
                           "default-src 'self'; connect-src 'self' ws: wss:; frame-ancestors 'none'"}});
  http_.SetHandler([this](const HttpRequest& request, const std::shared_ptr<HttpReply>& reply) {
    OnRequest(request, reply);
  });
  http_.SetUpgrade("/api/live", [this](const HttpRequest&, QTcpSocket* socket) { live_.Take(socket); });
}

SiteService::~SiteService() {
  // The threads first: what they post back needs this object alive.
  reader_.reset();
  writer_.reset();
}

bool SiteService::Start() {
  QString why;
  if (!http_.Listen(QString::fromStdString(config_.http.host), config_.http.port, &why)) {
    Log("cannot listen on " + config_.http.listen + ": " + why.toStdString());
    return false;
  }
  Log("listening on " + config_.http.listen +
      (page_dir_.empty() ? "; no page found" : "; the page from " + page_dir_));
  LoadState();
  ConnectBroker();
  push_timer_.start();
  return true;
}

void SiteService::LoadState() {
  // The state kept by the store, merged under what the broker says meanwhile;
  // asked again while the store is away.
  reader_->Post([this](Store* store, const std::string& fault) {
    if (store == nullptr) {
      QMetaObject::invokeMethod(
          this,
          [this, fault] {
            if (!load_failure_told_) Log("the stored state is not read yet: " + fault + "; trying again");
            load_failure_told_ = true;
            if (!shutting_down_) QTimer::singleShot(kReloadStateMs, this, &SiteService::LoadState);
          },
          Qt::QueuedConnection);
      return;
    }
    auto units = std::make_shared<std::vector<UnitState>>(store->LoadUnits());
    auto buses = std::make_shared<std::vector<BusState>>(store->LoadBuses());
    QMetaObject::invokeMethod(
        this,
        [this, units, buses] {
          const std::size_t count = units->size();
          state_.Merge(std::move(*units), std::move(*buses));
          // The store may remember units online whose gateway has gone since.
          for (const auto& [prefix, online] : gateways_)
            if (!online) UnitsOffline(prefix);
          Log("state of " + std::to_string(count) + (count == 1 ? " unit" : " units") +
              " read from the store");
        },
        Qt::QueuedConnection);
  });
}

void SiteService::ConnectBroker() {
  if (client_) client_->Stop();
  client_ = std::make_unique<kelvo_mqtt::MqttClient>(Settings(config_.broker));
  subscribed_ = false;
  broker_state_ = "connecting to " + config_.broker.url;
  connect(client_.get(), &kelvo_mqtt::MqttClient::connected, this, [this] {
    broker_state_ = "connected";
    Log("connected to " + config_.broker.url);
    HealthMaybeChanged();
  });
  connect(client_.get(), &kelvo_mqtt::MqttClient::disconnected, this, [this](const QString& reason) {
    if (shutting_down_) return;
    broker_state_ = reason.toStdString();
    subscribed_ = false;
    Log("broker " + config_.broker.url + ": " + broker_state_ + "; trying again");
    HealthMaybeChanged();
  });
  connect(client_.get(), &kelvo_mqtt::MqttClient::subscribed, this, [this](const QStringList& refused) {
    subscribed_ = refused.isEmpty();
    if (!refused.isEmpty()) Log("the broker refuses the subscriptions " + refused.join(", ").toStdString());
    HealthMaybeChanged();
  });
  connect(client_.get(), &kelvo_mqtt::MqttClient::message, this,
          [this](const QString& topic, const QByteArray& payload, bool) { OnMessage(topic, payload); });
  client_->Start();
  HealthMaybeChanged();
}

void SiteService::OnMessage(const QString& topic, const QByteArray& payload) {
  ++messages_;
  const std::optional<SiteTopic> t = ParseSiteTopic(config_.broker.topic_prefixes, topic.toStdString());
  if (!t) return;
  if (payload.size() > kMaxMessageBytes && t->kind != TopicKind::Status) {
    Bad(topic, "is " + std::to_string(payload.size()) + " bytes long");
    return;
  }
  switch (t->kind) {
    case TopicKind::Status: OnStatus(*t, payload); break;
    case TopicKind::Availability: OnAvailability(*t, payload); break;
    case TopicKind::UnitAlarms: OnUnitAlarms(*t, payload); break;
    case TopicKind::BusAlarms:
    case TopicKind::BusBank:
    case TopicKind::SiteBank: OnBus(*t, payload); break;
    case TopicKind::Events: OnEvent(*t, payload); break;
    case TopicKind::GatewayAvailability: OnGatewayAvailability(*t, payload); break;
  }
}

void SiteService::Bad(const QString& topic, const std::string& why) {
  ++bad_messages_;
  // Once per topic: a gateway that keeps sending the same fault would fill the log.
  if (bad_topics_told_.size() < 10000 && bad_topics_told_.insert(topic.toStdString()).second)
    Log("a message on " + topic.toStdString() + " " + why +
        ": ignored (said once per topic; all are counted)");
}

void SiteService::OnStatus(const SiteTopic& t, const QByteArray& payload) {
  std::string why;
  std::optional<StatusValues> status =
      ParseStatus(std::string_view(payload.constData(), static_cast<std::size_t>(payload.size())), &why);
  const UnitId unit{t.prefix, t.bus, t.address};
  if (!status) {
    Bad(QString::fromStdString(t.prefix + "/" + t.bus + "/" + std::to_string(t.address) + "/status"), why);
    return;
  }
  writer_->Add(state_.TakeStatus(unit, std::move(*status)));
  UnitChanged(unit, true);
}

void SiteService::OnAvailability(const SiteTopic& t, const QByteArray& payload) {
  if (payload.isEmpty()) return;  // a retained message cleared
  if (payload != "online" && payload != "offline") {
    Bad(QString::fromStdString(t.prefix + "/" + t.bus + "/" + std::to_string(t.address) + "/availability"),
        "is neither \"online\" nor \"offline\"");
    return;
  }
  // A gateway gone away leaves its units' last word retained; it says it
  // again once it is back, its own "online" first.
  const auto gateway = gateways_.find(t.prefix);
  const bool gateway_away = gateway != gateways_.end() && !gateway->second;
  SetOnline(UnitId{t.prefix, t.bus, t.address}, payload == "online" && !gateway_away);
}

void SiteService::OnGatewayAvailability(const SiteTopic& t, const QByteArray& payload) {
  if (payload != "online" && payload != "offline") return;
  const bool online = payload == "online";
  gateways_[t.prefix] = online;
  if (!online) UnitsOffline(t.prefix);
}

void SiteService::UnitsOffline(const std::string& prefix) {
  std::vector<UnitId> units;
  for (const auto& [unit, entry] : state_.units())
    if (unit.prefix == prefix && entry.state.online.value_or(false)) units.push_back(unit);
  for (const UnitId& unit : units) SetOnline(unit, false);
}

void SiteService::SetOnline(const UnitId& unit, bool online) {
  UnitEntry& entry = state_.Unit(unit);
  if (entry.state.online == online) return;
  entry.state.online = online;
  writer_->Add(AvailabilityChange{unit, NowMs(), online});
  UnitChanged(unit);
}

void SiteService::OnUnitAlarms(const SiteTopic& t, const QByteArray& payload) {
  if (payload.isEmpty()) return;
  const Json alarms = Json::parse(Text(payload), nullptr, false);
  if (!alarms.is_object() || !alarms.contains("active") || !alarms["active"].is_array()) {
    Bad(QString::fromStdString(t.prefix + "/" + t.bus + "/" + std::to_string(t.address) + "/alarms"),
        "is not {\"time\", \"active\": [...]}");
    return;
  }
  const UnitId unit{t.prefix, t.bus, t.address};
  UnitEntry& entry = state_.Unit(unit);
  entry.state.alarms_json = Dumped(alarms["active"]);
  entry.alarms_heard = true;
  UnitChanged(unit);
}

void SiteService::OnBus(const SiteTopic& t, const QByteArray& payload) {
  if (payload.isEmpty()) return;
  const Json message = Json::parse(Text(payload), nullptr, false);
  const std::string topic =
      t.prefix + (t.bus.empty() ? "" : "/" + t.bus) + (t.kind == TopicKind::BusAlarms ? "/alarms" : "/bank");
  const BusId id{t.prefix, t.bus};
  if (t.kind == TopicKind::BusAlarms) {
    if (!message.is_object() || !message.contains("active") || !message["active"].is_array()) {
      Bad(QString::fromStdString(topic), "is not {\"time\", \"active\": [...]}");
      return;
    }
    state_.Bus(id).alarms_json = Dumped(message["active"]);
  } else {
    if (!message.is_object()) {
      Bad(QString::fromStdString(topic), "is not a JSON object");
      return;
    }
    state_.Bus(id).bank_json = Dumped(message);
  }
  BusChanged(id);
}

void SiteService::OnEvent(const SiteTopic& t, const QByteArray& payload) {
  const Json event = Json::parse(Text(payload), nullptr, false);
  std::optional<std::int64_t> time;
  if (event.is_object() && event.contains("time") && event["time"].is_string())
    time = ParseIsoTime(event["time"].get<std::string>());
  if (!time || !event.contains("bus") || !event["bus"].is_string()) {
    Bad(QString::fromStdString(t.prefix + "/events"), "is not an event with a \"time\" and a \"bus\"");
    return;
  }
  Event e{t.prefix, *time, event["bus"].get<std::string>(), std::nullopt, Text(payload)};
  if (event.contains("address") && event["address"].is_number_integer())
    e.address = event["address"].get<int>();
  writer_->Add(e);
  live_.Broadcast("{\"type\":\"event\",\"event\":" + e.json + "}");
}

void SiteService::UnitChanged(const UnitId& unit, bool values_only) {
  changed_units_.insert(unit);
  if (const UnitEntry* entry = state_.FindUnit(unit)) writer_->Put(entry->state, values_only);
}

void SiteService::BusChanged(const BusId& bus) {
  changed_buses_.insert(bus);
  writer_->Put(state_.Bus(bus));
}

void SiteService::PushChanges() {
  if (!changed_units_.empty()) {
    if (live_.clients() > 0)
      live_.Broadcast("{\"type\":\"units\",\"units\":" + UnitsJson(state_, &changed_units_) + "}");
    changed_units_.clear();
  }
  if (!changed_buses_.empty()) {
    if (live_.clients() > 0)
      live_.Broadcast("{\"type\":\"banks\",\"banks\":" + BanksJson(state_, &changed_buses_) + "}");
    changed_buses_.clear();
  }
}

void SiteService::OnStoreState(bool open, const std::string& what) {
  if (open && what != "open") {  // open still, with something to say
    Log("store: " + what);
    return;
  }
  if (open != store_open_ || what != store_state_) Log(open ? "store open" : "store: " + what);
  store_open_ = open;
  store_state_ = open ? "open" : what;
  HealthMaybeChanged();
}

bool SiteService::healthy() const {
  return subscribed_ && store_open_;
}

std::string SiteService::HealthJson() const {
  Json health{{"broker", broker_state_}, {"store", store_state_}, {"subscribed", subscribed_}};
  return Dumped(health);
}

void SiteService::HealthMaybeChanged() {
  std::string health = HealthJson();
  if (health == last_health_) return;
  last_health_ = health;
  live_.Broadcast("{\"type\":\"health\",\"health\":" + health + "}");
}

bool SiteService::TokenOk(const std::string& given) const {
  const std::string& token = config_.http.token;
  if (token.empty()) return true;
  // Constant time over the token's length: every byte compared, whatever differs first.
  unsigned char diff = given.size() == token.size() ? 0 : 1;
  for (std::size_t i = 0; i < token.size(); ++i) {
    const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    diff = static_cast<unsigned char>(diff | (g ^ static_cast<unsigned char>(token[i])));
  }
  return diff == 0;
}

void SiteService::Reload() {
  SiteConfigResult next = LoadSiteConfig(path_);
  if (!next.config) {
    Log("reload refused, the configuration in use stays: " + next.error);
    return;
  }
  SiteConfig& n = *next.config;
  if (n.http.listen != config_.http.listen && !MoveListen(n.http)) {
    n.http.listen = config_.http.listen;
    n.http.host = config_.http.host;
    n.http.port = config_.http.port;
  }
  if (n.store.url != config_.store.url || n.store.retention.raw_hours != config_.store.retention.raw_hours ||
      n.store.retention.minute_days != config_.store.retention.minute_days ||
      n.store.password != config_.store.password)
    Log("store changes take a restart; the store in use stays");
  const bool reconnect = n.broker != config_.broker;
  config_.broker = std::move(n.broker);
  config_.profile = std::move(n.profile);
  config_.profile_path = std::move(n.profile_path);
  config_.http = std::move(n.http);
  if (reconnect) ConnectBroker();
  Log("configuration reloaded from " + path_);
}

bool SiteService::MoveListen(const SiteHttp& to) {
  // The old address is let go first: the new one may share its port.
  http_.Close();
  QString why;
  if (http_.Listen(QString::fromStdString(to.host), to.port, &why)) {
    Log("listening on " + to.listen + " instead of " + config_.http.listen +
        "; connections open stay till they close");
    return true;
  }
  Log("cannot listen on " + to.listen + ": " + why.toStdString() + "; staying on " + config_.http.listen);
  if (!http_.Listen(QString::fromStdString(config_.http.host), config_.http.port, &why))
    Log("cannot listen on " + config_.http.listen + " again either: " + why.toStdString());
  return false;
}

void SiteService::Shutdown() {
  if (shutting_down_) return;
  shutting_down_ = true;
  http_.Close();
  push_timer_.stop();
  if (client_) client_->Stop();
  writer_->Stop();  // the last batch written
  Log("stopped; " + std::to_string(writer_->written()) + " answers stored this run");
  QMetaObject::invokeMethod(this, &SiteService::finished, Qt::QueuedConnection);
}

}  // namespace kelvo_site
