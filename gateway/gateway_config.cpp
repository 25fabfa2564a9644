#include "gateway/gateway_config.h"

#include <toml++/toml.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "alarms/alarm_rule_reader.h"
#include "codec/address_list.h"
#include "codec/requests.h"
#include "config/config_files.h"
#include "config/table_reader.h"
#include "link/port_settings.h"
#include "mqtt/broker_url.h"
#include "mqtt/topic_rules.h"
#include "profile/profile_choice.h"
#include "system/host_name.h"

namespace kelvo_gateway {

using kelvo_config::Quoted;
using kelvo_config::TableReader;
using kelvo_mqtt::BrokerUrl;
using kelvo_mqtt::kMaxTopicBytes;
using kelvo_mqtt::ParseBrokerUrl;
using kelvo_mqtt::TextFault;
using kelvo_mqtt::TopicPrefixFault;
using kelvo_mqtt::TopicTextFault;
namespace {

// Room for the bus and address in `{prefix}/{bus}/{address}/availability`, and
// for "/sensor/{node}/{object}/config" after a discovery prefix (the node
// holds the client id and the bus).
constexpr std::size_t kMaxPrefixBytes =
    kMaxTopicBytes - 1 - kMaxBusNameBytes - std::string_view("/255/availability").size();
constexpr std::size_t kMaxDiscoveryPrefixBytes = kMaxTopicBytes - kMaxClientIdBytes - kMaxBusNameBytes - 100;

// The password from the first line of `path`; refuses a file others can read.
std::string ReadPassword(const TableReader& broker, const std::string& path) {
  kelvo_config::SecretFile file =
      kelvo_config::ReadSecretFile(path, "password", "the gateway's user or group");
  if (!file.fault.empty()) broker.FailKey("password_file", file.fault);
  return std::move(file.secret);
}

void RequireReadableFile(const TableReader& table, std::string_view key, const std::string& path) {
  if (const std::string why = kelvo_config::NotAReadableFile(path); !why.empty())
    table.FailKey(key, path + " " + why);
}

BrokerConfig ReadBroker(const TableReader& t) {
  BrokerConfig b;
  t.Require("url");
  b.url = t.String("url", "");
  std::string why;
  const std::optional<BrokerUrl> url = ParseBrokerUrl(b.url, &why);
  if (!url) t.FailKey("url", why);
  b.tls = url->tls;
  b.host = url->host;
  b.port = url->port;
  b.client_id = t.String("client_id", "kelvo-gateway-" + kelvo_system::HostName());
  if (b.client_id.empty()) t.FailKey("client_id", "must not be empty");
  if (b.client_id.size() > kMaxClientIdBytes) {
    t.FailKey("client_id", "is " + std::to_string(b.client_id.size()) + " bytes, more than the " +
                               std::to_string(kMaxClientIdBytes) + " allowed");
  }
  if (const std::string why = TextFault(b.client_id); !why.empty()) t.FailKey("client_id", why);
  b.topic_prefix = t.String("topic_prefix", b.topic_prefix);
  if (const std::string why = TopicPrefixFault(b.topic_prefix); !why.empty()) t.FailKey("topic_prefix", why);
  if (b.topic_prefix.size() > kMaxPrefixBytes) {
    t.FailKey("topic_prefix", "is " + std::to_string(b.topic_prefix.size()) +
                                  " bytes: with a bus and an address the topics would pass the " +
                                  std::to_string(kMaxTopicBytes) + " bytes MQTT allows; at most " +
                                  std::to_string(kMaxPrefixBytes));
  }
  b.username = t.String("username", "");
  b.password_file = t.String("password_file", "");
  if (t.Has("password_file")) {
    if (b.username.empty()) t.FailKey("password_file", "needs a username under [broker]");
    b.password = ReadPassword(t, b.password_file);
  }
  b.ca_file = t.String("ca_file", "");
  if (t.Has("ca_file")) {
    if (!b.tls) t.FailKey("ca_file", "is for mqtts:// only; the url says mqtt://");
    RequireReadableFile(t, "ca_file", b.ca_file);
  }
  b.keepalive_s = t.Integer("keepalive_s", b.keepalive_s, 5, 65535);
  b.stats_interval_ms = t.Integer("stats_interval_ms", b.stats_interval_ms, 100, 86'400'000);
  b.offline_after = t.Integer("offline_after", b.offline_after, 1, 1'000'000);
  b.max_queued = t.Integer("max_queued", b.max_queued, 1, 10'000'000);
  return b;
}

bool IsBusName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxBusNameBytes &&
         std::all_of(name.begin(), name.end(), [](char c) {
           return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                  c == '-';
         });
}

// "addresses": a list of numbers, [1, 2, 3], or a string of addresses and ranges, "1-50,60".
std::vector<int> ReadAddresses(const TableReader& t) {
  const toml::node& node = *t.table().get("addresses");
  if (const auto* text = node.as_string()) {
    if (text->get().empty()) t.FailKey("addresses", "is empty: nothing to poll");
    std::string why;
    std::optional<std::vector<int>> addresses = codec::ParseAddressList(text->get(), &why);
    if (!addresses) t.FailKey("addresses", why);
    return std::move(*addresses);
  }
  const toml::array* list = node.as_array();
  if (list == nullptr) {
    t.FailKey("addresses", "must be a list of numbers, such as [1, 2, 3], or a string such as \"1-50,60\"");
  }
  if (list->empty()) t.FailKey("addresses", "is empty: nothing to poll");
  std::vector<int> addresses;
  std::set<int> seen;
  for (const toml::node& element : *list) {
    const auto* n = element.as_integer();
    if (n == nullptr || !codec::IsUnitAddress(n->get())) {
      t.FailKey("addresses", "every address must be a whole number " + std::to_string(codec::kLowestAddress) +
                                 "-" + std::to_string(codec::kHighestAddress));
    }
    const int address = static_cast<int>(n->get());
    if (!seen.insert(address).second) t.FailKey("addresses", "address " + std::to_string(address) + " twice");
    addresses.push_back(address);
  }
  return addresses;
}

// One spelling for each port: a device path with its links resolved, or a
// tcp:// address with the host in lower case.
std::string SamePortKey(const std::string& port) {
  const std::optional<kelvo_link::PortAddress> address =
      kelvo_link::ParsePortAddress(QString::fromStdString(port));
  if (address && address->tcp) {
    return "tcp://" + address->host.toLower().toStdString() + ":" + std::to_string(address->tcp_port);
  }
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(port, error);
  return error ? port : resolved.string();
}

BusConfig ReadBus(const TableReader& t) {
  BusConfig bus;
  for (const char* key : {"name", "port", "addresses"}) t.Require(key);
  bus.name = t.String("name", "");
  if (!IsBusName(bus.name)) {
    const std::string shown = bus.name.size() > 80 ? bus.name.substr(0, 80) + "..." : bus.name;
    t.FailKey("name", "\"" + shown + "\" is not 1-" + std::to_string(kMaxBusNameBytes) +
                          " characters of A-Z, a-z, 0-9, _ and -");
  }
  bus.port = t.String("port", "");
  QString why;
  if (!kelvo_link::ParsePortAddress(QString::fromStdString(bus.port), &why)) {
    t.FailKey("port", why.isEmpty() ? "not a device path or tcp://HOST:PORT" : why.toStdString());
  }
  bus.baud = t.Integer("baud", bus.baud, 1, 100'000'000);
  bus.interval_ms = t.Integer("interval_ms", bus.interval_ms, 10, 86'400'000);
  bus.timeout_ms = t.Integer("timeout_ms", std::min(1000, bus.interval_ms), 1, 600'000);

  bus.addresses = ReadAddresses(t);
  return bus;
}

DiscoveryConfig ReadDiscovery(const TableReader& t, const std::string& source) {
  DiscoveryConfig d;
  d.enabled = t.Boolean("enabled", d.enabled);
  d.prefix = t.String("prefix", d.prefix);
  if (d.prefix.empty()) t.FailKey("prefix", "must be a topic without \"+\" or \"#\"");
  if (const std::string why = TopicTextFault(d.prefix); !why.empty()) t.FailKey("prefix", why);
  if (d.prefix.size() > kMaxDiscoveryPrefixBytes) {
    t.FailKey("prefix", "is " + std::to_string(d.prefix.size()) + " bytes, more than the " +
                            std::to_string(kMaxDiscoveryPrefixBytes) + " a discovery topic has room for");
  }
  if (const toml::table* fields = t.Table("fields")) {
    for (const auto& [label, node] : *fields) {
      const std::string name = "[homeassistant.fields." + Quoted(label.str()) + "]";
      const auto* table = node.as_table();
      if (table == nullptr) t.Fail(TableReader::LineOf(node), name + " must be a table");
      const TableReader f(*table, name, source, {"unit", "scale", "device_class"});
      FieldPresentation p;
      p.unit = f.String("unit", "");
      p.scale = f.Number("scale");
      if (p.scale && *p.scale == 0) f.FailKey("scale", "must not be 0");
      p.device_class = f.String("device_class", "");
      d.fields.emplace(std::string(label.str()), p);
    }
  }
  return d;
}

SiteConfig ReadSite(const TableReader& t) {
  SiteConfig site;
  site.profile_choice = t.String("profile", "");
  if (t.Has("profile") && site.profile_choice.empty())
    t.FailKey("profile", "is empty: name a profile file, or \"none\" for no values");
  if (site.profile_choice.empty() && kelvo_profile::FindDefaultProfile().empty()) {
    std::string what = "no default profile (looked for";
    for (const std::string& candidate : kelvo_profile::DefaultProfileCandidates()) what += ' ' + candidate;
    what += "): name one with profile = \"FILE\" in [site], or profile = \"none\" for no values";
    if (t.line() > 0) t.Fail(t.line(), what);
    throw kelvo_config::ConfigError{t.source() + ": " + what};
  }
  kelvo_profile::ProfileLoad load = kelvo_profile::LoadChosenProfile(site.profile_choice);
  if (load.error && t.Has("profile")) t.FailKey("profile", load.error->text);
  if (load.error) throw kelvo_config::ConfigError{t.source() + ": the default profile: " + load.error->text};
  if (load.profile) site.profile = std::make_shared<const kelvo_profile::Profile>(std::move(*load.profile));
  site.state_dir = t.String("state_dir", site.state_dir);
  if (site.state_dir.empty()) t.FailKey("state_dir", "is empty: name the directory for the gateway's state");
  return site;
}

GatewayConfig ReadConfig(const toml::table& root, const std::string& source) {
  const TableReader top(root, "the file", source,
                        {"alarm", "broker", "bus", "homeassistant", "notify", "site"});
  GatewayConfig config;

  const toml::table* broker = top.Table("broker");
  if (broker == nullptr) top.Fail(1, "no [broker] table: the gateway needs a url to publish to");
  config.broker =
      ReadBroker(TableReader(*broker, "[broker]", source,
                             {"url", "client_id", "topic_prefix", "username", "password_file", "ca_file",
                              "keepalive_s", "stats_interval_ms", "offline_after", "max_queued"}));

  const toml::array* buses = root.contains("bus") ? root.get("bus")->as_array() : nullptr;
  if (root.contains("bus") && (buses == nullptr || !buses->is_array_of_tables())) {
    top.Fail(TableReader::LineOf(*root.get("bus")), "key \"bus\" must be written as [[bus]] tables");
  }
  if (buses == nullptr || buses->empty()) top.Fail(1, "no [[bus]] table: nothing to poll");
  std::set<std::string> names;
  std::map<std::string, std::pair<std::string, int>> ports;  // the same port in any spelling: bus, line
  int number = 0;
  for (const toml::node& node : *buses) {
    const TableReader t(*node.as_table(), "[[bus]] number " + std::to_string(++number), source,
                        {"name", "port", "baud", "interval_ms", "timeout_ms", "addresses"});
    BusConfig bus = ReadBus(t);
    if (!names.insert(bus.name).second) t.FailKey("name", "\"" + bus.name + "\" names another [[bus]] too");
    const auto [other, fresh] =
        ports.try_emplace(SamePortKey(bus.port), bus.name, TableReader::LineOf(*t.table().get("port")));
    if (!fresh) {
      t.FailKey("port", bus.port + ": port also used by bus " + other->second.first + ", line " +
                            std::to_string(other->second.second));
    }
    config.buses.push_back(std::move(bus));
  }

  if (const toml::table* ha = top.Table("homeassistant")) {
    config.discovery =
        ReadDiscovery(TableReader(*ha, "[homeassistant]", source, {"enabled", "prefix", "fields"}), source);
  }
  // Without a [site] table the defaults hold: the default profile, the package's state directory.
  static const toml::table kNoSite;
  const toml::table* site = top.Table("site");
  config.site =
      ReadSite(TableReader(site != nullptr ? *site : kNoSite, "[site]", source, {"profile", "state_dir"}));
  kelvo_alarms::AlarmRulesLoad alarms =
      kelvo_alarms::ReadAlarmRules(root, source, config.site.profile.get(), kEnergyKeys);
  if (alarms.error) throw kelvo_config::ConfigError{alarms.error->text};
  config.alarms = std::make_shared<const kelvo_alarms::AlarmRules>(std::move(*alarms.rules));
  if (const toml::table* notify = top.Table("notify")) {
    config.notify = ReadNotify(TableReader(
        *notify, "[notify]", source, {"webhook_url", "token_file", "ca_file", "timeout_ms", "max_queued"}));
  }
  return config;
}

}  // namespace

ConfigResult ParseGatewayConfig(std::string_view text, const std::string& source) {
  std::string error;
  std::optional<GatewayConfig> config = kelvo_config::ParseConfigText(
      text, source, [&](const toml::table& root) { return ReadConfig(root, source); }, &error);
  return {std::move(config), std::move(error)};
}

ConfigResult LoadGatewayConfig(const std::string& path) {
  const kelvo_config::TextFile file = kelvo_config::ReadTextFile(path);
  if (!file.fault.empty()) return {std::nullopt, path + ": the configuration file " + file.fault};
  return ParseGatewayConfig(file.text, path);
}

}  // namespace kelvo_gateway
