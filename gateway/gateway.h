// The daemon: one poller per bus, one publisher for the broker, and what ties
// them together (availability of each unit, discovery, stats, reload).
#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gateway/bus_counters.h"
#include "gateway/gateway_config.h"
#include "gateway/site_topics.h"

namespace kelvo_gateway {

class BusPoller;
class SitePublisher;
struct ReloadPlan;

class Gateway : public QObject {
  Q_OBJECT
 public:
  Gateway(GatewayConfig config, std::string config_path, QObject* parent = nullptr);
  ~Gateway() override;

  void Start();
  // Reads the configuration file again; one that does not check leaves everything as it is.
  void Reload();
  // Publishes the gateway's "offline" and ends; finished() follows within 2.5 s.
  void Shutdown();

 signals:
  void finished();

 private:
  enum class Availability { Unknown, Online, Offline };
  struct Unit {
    int misses = 0;
    Availability availability = Availability::Unknown;
    std::string status_frame;             // a recent answer, for the discovery configs
    std::optional<std::string> identity;  // the identity answer ("" when none came)
    std::vector<std::string> discovery_topics;
  };

  void StartPoller(const BusConfig& bus, int first_round_in_ms = 0);
  void OnAnswered(const std::string& bus, int address, const QByteArray& frame, const QDateTime& at,
                  double latency_ms);
  void OnMissed(const std::string& bus, int address, const QString& reason);
  void OnIdentified(const std::string& bus, int address, const QByteArray& frame);
  void SetAvailability(const UnitKey& key, Unit& unit, Availability availability);
  void PublishDiscovery(const UnitKey& key, Unit& unit);
  void PublishStats();
  [[nodiscard]] UnitTopics TopicsOfUnit(const UnitKey& key) const;

  // The steps of a reload, in this order, once the new file has checked.
  // ForgetUnits clears the units' retained availability and discovery configs under `prefix`.
  void ForgetUnits(const std::vector<UnitKey>& units, const std::string& prefix);
  void ApplyBrokerChanges(bool reconnect);
  void ApplyBusChanges(const ReloadPlan& plan);
  void ApplyDiscoveryChanges();

  GatewayConfig config_;
  std::string path_;
  std::unique_ptr<SitePublisher> publisher_;
  std::map<std::string, std::unique_ptr<BusPoller>> pollers_;
  std::map<std::string, BusCounters> counters_;
  std::map<UnitKey, Unit> units_;
  QTimer stats_timer_;
  bool stopping_ = false;
  bool told_denials_unseen_ = false;
};

// "kelvo-gateway: TEXT" on stderr, one line, flushed.
void Log(const std::string& text);

}  // namespace kelvo_gateway
