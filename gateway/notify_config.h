// The [notify] table: where the gateway POSTs every alarm event, and how.
#pragma once

#include <string>

namespace kelvo_config {
class TableReader;
}  // namespace kelvo_config

namespace kelvo_gateway {

struct NotifyConfig {
  std::string webhook_url;  // as written, "http://..." or "https://..."
  std::string token_file;   // empty: no Authorization header
  std::string token;        // read from token_file; never printed
  std::string ca_file;      // empty: the system's certificates
  int timeout_ms = 10000;   // for one request, answer included
  int max_queued = 1000;    // events held, the one being sent included

  bool operator==(const NotifyConfig&) const = default;
};

// Reads and checks [notify]; the token file is refused when others can read
// it. Throws kelvo_config::ConfigError naming the line and key.
[[nodiscard]] NotifyConfig ReadNotify(const kelvo_config::TableReader& t);

// The scheme, host and port of `url`, all that messages show of it: a
// receiver's key may sit in its path or query.
[[nodiscard]] std::string WebhookOrigin(const std::string& url);

}  // namespace kelvo_gateway
