#include "gateway/check_report.h"

#include <sstream>

namespace kelvo_gateway {

std::string AddressRuns(const std::vector<int>& addresses) {
  std::ostringstream out;
  for (std::size_t i = 0; i < addresses.size();) {
    std::size_t j = i;
    while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1) ++j;
    if (i > 0) out << ", ";
    out << addresses[i];
    if (j > i) out << (j == i + 1 ? ", " : "-") << addresses[j];
    i = j + 1;
  }
  return out.str();
}

std::string DescribeConfig(const GatewayConfig& config, const std::string& path) {
  const BrokerConfig& b = config.broker;
  std::ostringstream out;
  std::size_t units = 0;
  for (const BusConfig& bus : config.buses) units += bus.addresses.size();

  out << path << ": valid; " << config.buses.size() << (config.buses.size() == 1 ? " bus, " : " buses, ")
      << units << (units == 1 ? " unit" : " units") << "\n";
  out << "broker " << b.url << " as client \"" << b.client_id << "\", keepalive " << b.keepalive_s << " s";
  if (!b.username.empty()) {
    out << ", user \"" << b.username << "\"";
    if (!b.password_file.empty()) out << " with the password in " << b.password_file;
  }
  if (!b.ca_file.empty()) out << ", certificates checked against " << b.ca_file;
  out << "\n";
  out << "topics under \"" << b.topic_prefix << "/\"; stats every " << b.stats_interval_ms
      << " ms; a unit is offline after " << b.offline_after << " missed answers; at most " << b.max_queued
      << " messages held while the broker is away\n";
  for (const BusConfig& bus : config.buses) {
    out << "bus " << bus.name << ": " << bus.port;
    if (!bus.port.starts_with("tcp://")) out << " at " << bus.baud << " baud";
    out << ", a round every " << bus.interval_ms << " ms, " << bus.timeout_ms << " ms timeout, "
        << bus.addresses.size() << (bus.addresses.size() == 1 ? " address: " : " addresses: ")
        << AddressRuns(bus.addresses) << "\n";
    out << "  publishes " << b.topic_prefix << "/" << bus.name << "/ADDRESS/status and /availability\n";
  }
  const SiteConfig& site = config.site;
  if (site.profile) {
    out << "values in the units of " << site.profile->source() << "; bank figures under \"" << b.topic_prefix
        << "/BUS/bank\" and \"" << b.topic_prefix << "/bank\"; energy counters kept in " << site.state_dir
        << "\n";
  } else {
    out << "no values (profile \"none\"): status messages carry the answers only\n";
  }
  const kelvo_alarms::AlarmRules& rules = *config.alarms;
  out << rules.size() << (rules.size() == 1 ? " alarm rule" : " alarm rules")
      << " beside offline and bus_down";
  for (std::size_t i = 0; i < rules.size(); ++i) out << (i == 0 ? ": " : ", ") << rules[i].name;
  out << "; alarms under \"" << b.topic_prefix << "/BUS/ADDRESS/alarms\", events on \"" << b.topic_prefix
      << "/events\"\n";
  if (const std::optional<NotifyConfig>& n = config.notify) {
    out << "events POSTed to the webhook " << WebhookOrigin(n->webhook_url);
    if (!n->token_file.empty()) out << " with the bearer token in " << n->token_file;
    if (!n->ca_file.empty()) out << ", certificates checked against " << n->ca_file;
    out << "; " << n->timeout_ms << " ms for an answer; at most " << n->max_queued
        << " events held while it is away\n";
  }
  const DiscoveryConfig& d = config.discovery;
  if (d.enabled) {
    out << "discovery under \"" << d.prefix << "/\", " << d.fields.size()
        << (d.fields.size() == 1 ? " field" : " fields") << " with a unit or scale\n";
  }
  return out.str();
}

}  // namespace kelvo_gateway
