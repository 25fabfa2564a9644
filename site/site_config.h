// kelvo-site's configuration: what it reads from its TOML file, with every
// default applied and every value checked.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profile/profile.h"
#include "site/store/store.h"

namespace kelvo_site {

struct SiteBroker {
  std::string url;  // as written
  bool tls = false;
  std::string host;
  int port = 1883;
  std::vector<std::string> topic_prefixes = {"kelvo"};
  std::string client_id;  // default: kelvo-site-<hostname>
  std::string username;
  std::string password_file;
  std::string password;  // never printed
  std::string ca_file;

  bool operator==(const SiteBroker&) const = default;
};

struct SiteStore {
  std::string url = "sqlite:///var/lib/kelvo-site/site.db";
  std::string password_file;
  std::string password;  // never printed
  Retention retention;
};

struct SiteHttp {
  std::string listen = "127.0.0.1:8080";  // as written
  std::string host = "127.0.0.1";
  std::uint16_t port = 8080;
  std::string token_file;
  std::string token;  // never printed or logged
};

struct SiteConfig {
  SiteBroker broker;
  SiteStore store;
  std::string profile_path;  // the file the profile was read from
  std::shared_ptr<const kelvo_profile::Profile> profile;
  SiteHttp http;
};

// The configuration in `path`, or one line naming the file, the line and the
// key at fault (never a secret). Reads the password and token files it names.
struct SiteConfigResult {
  std::optional<SiteConfig> config;
  std::string error;
};
[[nodiscard]] SiteConfigResult LoadSiteConfig(const std::string& path);

// The same from text already read; `source` names it in messages.
[[nodiscard]] SiteConfigResult ParseSiteConfig(std::string_view text, const std::string& source);

// What `--check` prints: several lines, each ending in "\n"; names secret
// files, never their contents.
[[nodiscard]] std::string DescribeSiteConfig(const SiteConfig& config, const std::string& path);

}  // namespace kelvo_site
