#include "site/site_config.h"

#include <toml++/toml.h>

#include <QHostAddress>
#include <QString>
#include <set>
#include <sstream>

#include "config/config_files.h"
#include "config/table_reader.h"
#include "mqtt/broker_url.h"
#include "mqtt/topic_rules.h"
#include "profile/profile_choice.h"
#include "system/host_name.h"
#include "system/host_port.h"

namespace kelvo_site {

using kelvo_config::TableReader;
namespace {

constexpr std::size_t kMaxClientIdBytes = 256;
// Room for a bus, an address and "/availability" after a prefix.
constexpr std::size_t kMaxPrefixBytes = 1024;
constexpr const char* kOwner = "the service's user or group";

std::string ReadSecret(const TableReader& t, std::string_view key, const std::string& path,
                       const std::string& what) {
  kelvo_config::SecretFile file = kelvo_config::ReadSecretFile(path, what, kOwner);
  if (!file.fault.empty()) t.FailKey(key, file.fault);
  return std::move(file.secret);
}

std::vector<std::string> ReadPrefixes(const TableReader& t) {
  if (!t.Has("topic_prefixes")) return {"kelvo"};
  const toml::array* list = t.table().get("topic_prefixes")->as_array();
  if (list == nullptr || list->empty())
    t.FailKey("topic_prefixes", "must be a list of one or more topic prefixes, such as [\"kelvo\"]");
  std::vector<std::string> prefixes;
  std::set<std::string> seen;
  for (const toml::node& node : *list) {
    const auto* text = node.as_string();
    if (text == nullptr) t.FailKey("topic_prefixes", "every prefix must be a string");
    const std::string& prefix = text->get();
    if (const std::string why = kelvo_mqtt::TopicPrefixFault(prefix); !why.empty())
      t.FailKey("topic_prefixes", kelvo_config::Quoted(prefix) + " " + why);
    if (prefix.size() > kMaxPrefixBytes)
      t.FailKey("topic_prefixes", "a prefix is longer than " + std::to_string(kMaxPrefixBytes) + " bytes");
    if (!seen.insert(prefix).second) t.FailKey("topic_prefixes", "\"" + prefix + "\" twice");
    prefixes.push_back(prefix);
  }
  return prefixes;
}

SiteBroker ReadBroker(const TableReader& t) {
  SiteBroker b;
  t.Require("url");
  b.url = t.String("url", "");
  std::string why;
  const std::optional<kelvo_mqtt::BrokerUrl> url = kelvo_mqtt::ParseBrokerUrl(b.url, &why);
  if (!url) t.FailKey("url", why);
  b.tls = url->tls;
  b.host = url->host;
  b.port = url->port;
  b.topic_prefixes = ReadPrefixes(t);
  b.client_id = t.String("client_id", "kelvo-site-" + kelvo_system::HostName());
  if (b.client_id.empty()) t.FailKey("client_id", "must not be empty");
  if (b.client_id.size() > kMaxClientIdBytes)
    t.FailKey("client_id", "is longer than the " + std::to_string(kMaxClientIdBytes) + " bytes allowed");
  if (const std::string fault = kelvo_mqtt::TextFault(b.client_id); !fault.empty())
    t.FailKey("client_id", fault);
  b.username = t.String("username", "");
  b.password_file = t.String("password_file", "");
  if (t.Has("password_file")) {
    if (b.username.empty()) t.FailKey("password_file", "needs a username under [broker]");
    b.password = ReadSecret(t, "password_file", b.password_file, "password");
  }
  b.ca_file = t.String("ca_file", "");
  if (t.Has("ca_file")) {
    if (!b.tls) t.FailKey("ca_file", "is for mqtts:// only; the url says mqtt://");
    if (const std::string fault = kelvo_config::NotAReadableFile(b.ca_file); !fault.empty())
      t.FailKey("ca_file", b.ca_file + " " + fault);
  }
  return b;
}

SiteStore ReadStore(const TableReader& t) {
  SiteStore s;
  s.url = t.String("url", s.url);
  const bool sqlite = s.url.starts_with("sqlite:///") && s.url.size() > 10;
  const bool postgres = s.url.starts_with("postgresql://") && s.url.size() > 13;
  if (!sqlite && !postgres)
    t.FailKey("url", "must be \"sqlite:///PATH\" or \"postgresql://USER@HOST:PORT/DB\"");
  if (postgres) {
    const std::string_view rest = std::string_view(s.url).substr(13);
    const std::string_view authority = rest.substr(0, rest.find('/'));
    const std::size_t at = authority.find('@');
    if (at != std::string_view::npos && authority.substr(0, at).find(':') != std::string_view::npos)
      t.FailKey("url", "holds a password: give it in password_file");
  }
  s.password_file = t.String("password_file", "");
  if (t.Has("password_file")) {
    if (!postgres) t.FailKey("password_file", "is for postgresql:// only");
    s.password = ReadSecret(t, "password_file", s.password_file, "password");
  }
  s.retention.raw_hours = t.Integer("raw_hours", s.retention.raw_hours, 1, 100'000);
  s.retention.minute_days = t.Integer("minute_days", s.retention.minute_days, 1, 100'000);
  return s;
}

void ReadProfile(const TableReader& t, SiteConfig& config) {
  const std::string choice = t.String("profile", "");
  if (t.Has("profile") && (choice.empty() || choice == kelvo_profile::kNoProfile))
    t.FailKey("profile", "must name a profile file: the site shows values in its units");
  if (choice.empty()) {
    config.profile_path = kelvo_profile::FindDefaultProfile();
    if (config.profile_path.empty()) {
      std::string what = "no default profile (looked for";
      for (const std::string& candidate : kelvo_profile::DefaultProfileCandidates()) what += ' ' + candidate;
      what += "): name one with profile = \"FILE\" in [site]";
      throw kelvo_config::ConfigError{t.source() + ": " + what};
    }
  } else {
    config.profile_path = choice;
  }
  kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile(config.profile_path);
  if (load.error && t.Has("profile")) t.FailKey("profile", load.error->text);
  if (load.error) throw kelvo_config::ConfigError{t.source() + ": the default profile: " + load.error->text};
  config.profile = std::make_shared<const kelvo_profile::Profile>(std::move(*load.profile));
}

SiteHttp ReadHttp(const TableReader& t) {
  SiteHttp h;
  h.listen = t.String("listen", h.listen);
  const kelvo_system::HostPort parsed = kelvo_system::ParseHostPort(h.listen);
  if (!parsed.ok() || parsed.host.empty() || !parsed.port) {
    t.FailKey("listen",
              "\"" + h.listen + "\" is not HOST:PORT, such as \"127.0.0.1:8080\" or \"[::1]:8080\"");
  }
  h.host = std::string(parsed.host);
  h.port = *parsed.port;
  if (h.host == "*") h.host = "0.0.0.0";
  if (h.host != "localhost" && QHostAddress(QString::fromStdString(h.host)).isNull())
    t.FailKey("listen", "\"" + h.host + "\" is not an IP address (or localhost, or * for every interface)");
  h.token_file = t.String("token_file", "");
  if (t.Has("token_file")) h.token = ReadSecret(t, "token_file", h.token_file, "token");
  return h;
}

SiteConfig ReadConfig(const toml::table& root, const std::string& source) {
  const TableReader top(root, "the file", source, {"broker", "store", "site", "http"});
  SiteConfig config;
  const toml::table* broker = top.Table("broker");
  if (broker == nullptr) top.Fail(1, "no [broker] table: the service needs a url to subscribe to");
  config.broker =
      ReadBroker(TableReader(*broker, "[broker]", source,
                             {"url", "topic_prefixes", "client_id", "username", "password_file", "ca_file"}));
  static const toml::table kNone;
  const toml::table* store = top.Table("store");
  config.store = ReadStore(TableReader(store != nullptr ? *store : kNone, "[store]", source,
                                       {"url", "password_file", "raw_hours", "minute_days"}));
  const toml::table* site = top.Table("site");
  ReadProfile(TableReader(site != nullptr ? *site : kNone, "[site]", source, {"profile"}), config);
  const toml::table* http = top.Table("http");
  config.http =
      ReadHttp(TableReader(http != nullptr ? *http : kNone, "[http]", source, {"listen", "token_file"}));
  return config;
}

// The store's URL as shown: a PostgreSQL URL without anything that might be secret.
std::string ShownStore(const SiteStore& s) {
  if (s.url.starts_with("sqlite:///")) return "SQLite file " + s.url.substr(9);
  return "PostgreSQL " + s.url;
}

}  // namespace

SiteConfigResult ParseSiteConfig(std::string_view text, const std::string& source) {
  std::string error;
  std::optional<SiteConfig> config = kelvo_config::ParseConfigText(
      text, source, [&](const toml::table& root) { return ReadConfig(root, source); }, &error);
  return {std::move(config), std::move(error)};
}

SiteConfigResult LoadSiteConfig(const std::string& path) {
  const kelvo_config::TextFile file = kelvo_config::ReadTextFile(path);
  if (!file.fault.empty()) return {std::nullopt, path + ": the configuration file " + file.fault};
  return ParseSiteConfig(file.text, path);
}

std::string DescribeSiteConfig(const SiteConfig& config, const std::string& path) {
  const SiteBroker& b = config.broker;
  std::ostringstream out;
  out << path << ": valid\n";
  out << "broker " << b.url << " as client \"" << b.client_id << "\"";
  if (!b.username.empty()) {
    out << ", user \"" << b.username << "\"";
    if (!b.password_file.empty()) out << " with the password in " << b.password_file;
  }
  if (!b.ca_file.empty()) out << ", certificates checked against " << b.ca_file;
  out << "\n";
  for (const std::string& prefix : b.topic_prefixes) {
    out << "follows the gateway under \"" << prefix << "/\": " << prefix
        << "/+/+/status, /availability, /alarms; " << prefix << "/+/alarms, " << prefix << "/+/bank, "
        << prefix << "/bank, " << prefix << "/events, " << prefix << "/gateway/availability\n";
  }
  const SiteStore& s = config.store;
  out << "store: " << ShownStore(s);
  if (!s.password_file.empty()) out << " with the password in " << s.password_file;
  out << "; every answer kept " << s.retention.raw_hours << " h, minute figures " << s.retention.minute_days
      << " days, hour figures for ever\n";
  out << "values in the units of " << config.profile_path << "\n";
  out << "listens on http://"
      << (config.http.host.find(':') != std::string::npos ? "[" + config.http.host + "]" : config.http.host)
      << ":" << config.http.port << "/";
  if (config.http.token.empty()) {
    out << "; no token: anyone who reaches it may read the API\n";
  } else {
    out << "; the API needs the bearer token in " << config.http.token_file << "\n";
  }
  return out.str();
}

}  // namespace kelvo_site
