// The gateway's configuration: what it reads from its TOML file, with every
// default applied and every value checked.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "alarms/alarm_rule.h"
#include "gateway/notify_config.h"
#include "profile/profile.h"

namespace kelvo_gateway {

// Longest bus name and client id `--check` takes, in bytes.
inline constexpr std::size_t kMaxBusNameBytes = 64;
inline constexpr std::size_t kMaxClientIdBytes = 256;

struct BrokerConfig {
  std::string url;  // as written, "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]"
  bool tls = false;
  std::string host;
  int port = 1883;
  std::string client_id;  // default: kelvo-gateway-<hostname>
  std::string topic_prefix = "kelvo";
  std::string username;  // empty: none
  std::string password_file;
  std::string password;  // read from password_file; never printed
  std::string ca_file;
  int keepalive_s = 30;
  int stats_interval_ms = 10000;
  int offline_after = 3;
  int max_queued = 10000;

  bool operator==(const BrokerConfig&) const = default;
};

struct BusConfig {
  std::string name;
  std::string port;  // a device path or "tcp://HOST:PORT"
  int baud = 9600;
  int interval_ms = 1000;
  int timeout_ms = 1000;
  std::vector<int> addresses;

  bool operator==(const BusConfig&) const = default;
};

// How a site wants one field label shown on a dashboard; the protocol states no units.
struct FieldPresentation {
  std::string unit;
  std::optional<double> scale;
  std::string device_class;

  bool operator==(const FieldPresentation&) const = default;
};

struct DiscoveryConfig {
  bool enabled = false;
  std::string prefix = "homeassistant";
  std::map<std::string, FieldPresentation> fields;  // by UTF-8 field label

  bool operator==(const DiscoveryConfig&) const = default;
};

// What the site's numbers mean, and where the gateway keeps what outlives it.
struct SiteConfig {
  std::string profile_choice;  // as written: a path, "none", or empty for the default profile
  std::shared_ptr<const kelvo_profile::Profile> profile;  // null: values off
  std::string state_dir = "/var/lib/kelvo-gateway";       // the energy counters' file
};

// The energy counters' keys, which alarm rules may watch beside the profile's.
inline constexpr std::string_view kEnergyKeys[] = {"energy_charged", "energy_discharged"};

struct GatewayConfig {
  BrokerConfig broker;
  std::vector<BusConfig> buses;
  DiscoveryConfig discovery;
  SiteConfig site;
  std::shared_ptr<const kelvo_alarms::AlarmRules> alarms =
      std::make_shared<const kelvo_alarms::AlarmRules>();  // the [[alarm]] tables, in file order
  std::optional<NotifyConfig> notify;                      // none without a [notify] table
};

// The configuration in `path`, or one line naming the file, the line and the
// key at fault (never a secret). Reads the password file when one is named.
struct ConfigResult {
  std::optional<GatewayConfig> config;
  std::string error;
};
[[nodiscard]] ConfigResult LoadGatewayConfig(const std::string& path);

// The same from text already read; `source` names it in messages.
[[nodiscard]] ConfigResult ParseGatewayConfig(std::string_view text, const std::string& source);

}  // namespace kelvo_gateway
