// kelvo-site: follows the gateways' topics, keeps the latest state of every
// unit and bus in memory and their history in the store, and serves both to
// the page and to scrapers over HTTP.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "mqtt/mqtt_client.h"
#include "site/http_server.h"
#include "site/live_hub.h"
#include "site/site_config.h"
#include "site/site_state.h"
#include "site/site_topics.h"
#include "site/store_reader.h"
#include "site/store_writer.h"

namespace kelvo_site {

// One line on stderr, "kelvo-site: TEXT".
void Log(const std::string& text);

class SiteService : public QObject {
  Q_OBJECT
 public:
  SiteService(SiteConfig config, std::string config_path, std::string page_dir, StoreOpener open,
              QObject* parent = nullptr);
  ~SiteService() override;

  // Listens and connects; false (logged) when it cannot listen.
  bool Start();
  // Reads the configuration again and applies it; a file that does not check changes nothing.
  void Reload();
  // Writes what is held to the store and ends; `finished` follows.
  void Shutdown();

  [[nodiscard]] quint16 httpPort() const { return http_.port(); }

 Q_SIGNALS:
  void finished();

 private:
  // Listens on `to` instead; false (logged, still on the old address) when it cannot.
  bool MoveListen(const SiteHttp& to);
  // Ingest.
  void LoadState();
  void ConnectBroker();
  void OnMessage(const QString& topic, const QByteArray& payload);
  void OnStatus(const SiteTopic& t, const QByteArray& payload);
  void OnAvailability(const SiteTopic& t, const QByteArray& payload);
  void OnGatewayAvailability(const SiteTopic& t, const QByteArray& payload);
  void SetOnline(const UnitId& unit, bool online);  // stored and pushed when it changes
  void UnitsOffline(const std::string& prefix);     // those of a gateway gone away
  void OnUnitAlarms(const SiteTopic& t, const QByteArray& payload);
  void OnBus(const SiteTopic& t, const QByteArray& payload);
  void OnEvent(const SiteTopic& t, const QByteArray& payload);
  void Bad(const QString& topic, const std::string& why);
  void UnitChanged(const UnitId& unit, bool values_only = false);
  void BusChanged(const BusId& bus);
  void PushChanges();
  void OnStoreState(bool open, const std::string& what);
  void HealthMaybeChanged();
  [[nodiscard]] std::string HealthJson() const;
  [[nodiscard]] bool healthy() const;
  [[nodiscard]] bool TokenOk(const std::string& given) const;

  // HTTP (api_routes.cpp).
  void OnRequest(const HttpRequest& request, const std::shared_ptr<HttpReply>& reply);
  void Units(const std::shared_ptr<HttpReply>& reply);
  void Banks(const std::shared_ptr<HttpReply>& reply);
  void ProfileKeys(const std::shared_ptr<HttpReply>& reply);
  void History(const HttpRequest& request, const std::shared_ptr<HttpReply>& reply);
  void Events(const HttpRequest& request, const std::shared_ptr<HttpReply>& reply);
  void Export(const HttpRequest& request, const std::shared_ptr<HttpReply>& reply);
  void Ack(const HttpRequest& request, const std::shared_ptr<HttpReply>& reply);
  void Metrics(const std::shared_ptr<HttpReply>& reply);
  void Health(const std::shared_ptr<HttpReply>& reply);
  void PageFile(const HttpRequest& request, const std::shared_ptr<HttpReply>& reply);

  SiteConfig config_;
  std::string path_;
  std::string page_dir_;
  std::unique_ptr<kelvo_mqtt::MqttClient> client_;
  std::string broker_state_ = "not connected yet";
  bool subscribed_ = false;
  std::string store_state_ = "not open yet";
  bool store_open_ = false;
  std::string last_health_;
  SiteState state_;
  bool load_failure_told_ = false;
  std::set<UnitId> changed_units_;
  std::set<BusId> changed_buses_;
  QTimer push_timer_;
  std::set<std::string> bad_topics_told_;
  std::map<std::string, bool> gateways_;  // prefix: its gateway online
  std::uint64_t messages_ = 0;
  std::uint64_t bad_messages_ = 0;
  std::uint64_t acks_ = 0;
  std::unique_ptr<StoreWriter> writer_;
  std::unique_ptr<StoreReader> reader_;
  HttpServer http_;
  LiveHub live_;
  bool shutting_down_ = false;
};

}  // namespace kelvo_site
