// The broker's address as the configuration writes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvo_mqtt {

struct BrokerUrl {
  bool tls = false;
  std::string host;
  int port = 1883;
};

// "mqtt://HOST[:PORT]" (default port 1883) or "mqtts://HOST[:PORT]" (8883);
// HOST may be "[v6 address]". None, with the reason in `why`, for anything
// else, a user name or password in the url included.
[[nodiscard]] std::optional<BrokerUrl> ParseBrokerUrl(std::string_view text, std::string* why);

}  // namespace kelvo_mqtt
