#include "gateway/broker_url.h"

#include <charconv>

namespace kelvo_gateway {

std::optional<BrokerUrl> ParseBrokerUrl(std::string_view text, std::string* why) {
  const auto fail = [why](std::string reason) -> std::optional<BrokerUrl> {
    if (why != nullptr) *why = std::move(reason);
    return std::nullopt;
  };
  BrokerUrl url;
  std::string_view rest;
  if (text.starts_with("mqtt://")) {
    rest = text.substr(7);
  } else if (text.starts_with("mqtts://")) {
    rest = text.substr(8);
    url.tls = true;
    url.port = 8883;
  } else {
    return fail("\"" + std::string(text) + "\" is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
  }
  if (rest.ends_with('/')) rest.remove_suffix(1);
  if (rest.find('@') != std::string_view::npos) {
    return fail("has a user in it: put it in username, and the password in password_file");
  }
  if (rest.find('/') != std::string_view::npos) return fail("has a path; the url is mqtt://HOST[:PORT]");

  std::string_view host = rest;
  std::string_view port;
  if (rest.starts_with('[')) {
    const auto close = rest.find(']');
    if (close == std::string_view::npos) return fail("has \"[\" without \"]\"");
    host = rest.substr(1, close - 1);
    std::string_view after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return fail("has characters after \"]\"");
      port = after.substr(1);
      if (port.empty()) return fail("has \":\" but no port");
    }
  } else if (const auto colon = rest.rfind(':'); colon != std::string_view::npos) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (port.empty()) return fail("has \":\" but no port");
  }
  if (host.empty()) return fail("has no host");
  if (!port.empty()) {
    int n = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), n);
    if (ec != std::errc() || end != port.data() + port.size() || n < 1 || n > 65535) {
      return fail("port \"" + std::string(port) + "\" is not 1-65535");
    }
    url.port = n;
  }
  url.host = std::string(host);
  return url;
}

}  // namespace kelvo_gateway
