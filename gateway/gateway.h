// The daemon: one poller per bus, one publisher for the broker, and what ties
// them together (availability of each unit, discovery, stats, reload).
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "alarms/bus_alarms.h"
#include "codec/frame_breakdown.h"
#include "gateway/bank_figures.h"
#include "gateway/bus_counters.h"
#include "gateway/energy_state.h"
#include "gateway/gateway_config.h"
#include "gateway/site_topics.h"
#include "records/record.h"

namespace kelvo_gateway {

class BusPoller;
class SitePublisher;
class WebhookNotifier;
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
    std::optional<BankInputs> bank;                     // from the latest answer with values
    std::chrono::system_clock::time_point fresh_until;  // its last answer counts for the bank until then
    EnergyCounter energy;
    bool energy_restored = false;                     // the counters kept from an earlier run are taken
    bool alarms_said = false;                         // its alarm list has been published
    std::shared_ptr<const std::string> status_topic;  // made once, shared by its queued messages
    std::string status_frame;                         // a recent answer, for the discovery configs
    std::optional<std::string> identity;              // the identity answer ("" when none came)
    std::vector<std::string> discovery_topics;
  };

  void StartPoller(const BusConfig& bus, int first_round_in_ms = 0);
  void OnAnswered(const std::string& bus, int address, const QByteArray& frame, const QDateTime& at,
                  double latency_ms);
  void OnMissed(const std::string& bus, int address, const QString& reason);
  void OnIdentified(const std::string& bus, int address, const QByteArray& frame);
  // The values of `record` (cut into `items`) for the bank and the energy
  // counters: the unit's counters after it.
  std::optional<EnergyTotals> TakeValues(const UnitKey& key, Unit& unit, const kelvo_records::Record& record,
                                         const codec::FrameItems& items,
                                         std::vector<kelvo_profile::ProfileValue>& values);
  // The bus's alarms, made (and its empty list published) on first use.
  kelvo_alarms::BusAlarms& AlarmsOf(const std::string& bus);
  void PublishAlarmList(const UnitKey& key);
  void PublishEvents(const std::vector<kelvo_alarms::AlarmEvent>& events);
  // New rules for every bus; a bus gone, or all when the topics move, has its alarms cleared.
  void ApplyAlarmChanges(const std::string& old_prefix);
  // Each event on {prefix}/events, then the lists they changed.
  void PublishAlarmChanges(const std::string& bus, const std::vector<kelvo_alarms::AlarmEvent>& events);
  void OnAcknowledgement(const QString& topic, const QByteArray& payload, bool retained);
  [[nodiscard]] const BusConfig* BusNamed(const std::string& name) const;
  [[nodiscard]] BankMember Member(const UnitKey& key, std::chrono::system_clock::time_point now) const;
  void SetAvailability(const UnitKey& key, Unit& unit, Availability availability);
  void PublishDiscovery(const UnitKey& key, Unit& unit);
  void PublishStats();
  // One device per bank and one for the site, or none without discovery or a profile.
  void PublishBankDiscovery();
  void PublishBusBank(const std::string& bus);
  void PublishSiteBank();
  // Hands the energy counters to the writer when they changed since last time.
  void SaveEnergy();
  [[nodiscard]] UnitTopics TopicsOfUnit(const UnitKey& key) const;

  // The steps of a reload, in this order, once the new file has checked.
  // ForgetUnits clears the units' retained availability and discovery configs under `prefix`.
  void ForgetUnits(const std::vector<UnitKey>& units, const std::string& prefix);
  void ApplyBrokerChanges(bool reconnect);
  void ApplyBusChanges(const ReloadPlan& plan, const std::string& old_prefix);
  void ApplySiteChanges();
  void StartEnergyCounters();
  void ApplyDiscoveryChanges();
  // The webhook follows [notify]: made, given new settings (its waiting events kept), or ended.
  void ApplyNotifyChanges();

  GatewayConfig config_;
  std::string path_;
  std::unique_ptr<SitePublisher> publisher_;
  std::map<std::string, std::unique_ptr<BusPoller>> pollers_;
  std::map<std::string, BusCounters> counters_;
  std::map<UnitKey, Unit> units_;
  std::set<std::string> bank_discovery_topics_;
  std::map<std::string, kelvo_alarms::BusAlarms> alarms_;
  std::shared_ptr<const std::string> events_topic_;
  std::set<std::string> told_acks_;  // topics whose ignored acknowledgements the log has heard of
  QTimer stats_timer_;
  QTimer energy_timer_;
  EnergyTotalsByUnit kept_energy_;   // read at start, for units not heard of yet
  EnergyTotalsByUnit saved_energy_;  // as last handed to the writer
  std::unique_ptr<EnergyStateWriter> energy_writer_;
  std::unique_ptr<WebhookNotifier> webhook_;  // null without [notify]
  bool stopping_ = false;
  bool told_denials_unseen_ = false;
};

// "kelvo-gateway: TEXT" on stderr, one line, flushed.
void Log(const std::string& text);

}  // namespace kelvo_gateway
