#include "mqtt/broker_url.h"

#include "system/host_port.h"

namespace kelvo_mqtt {

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

  const kelvo_system::HostPort parts = kelvo_system::ParseHostPort(rest, {.port_required = false});
  using Fault = kelvo_system::HostPortFault;
  if (parts.fault == Fault::UnclosedBracket) return fail("has \"[\" without \"]\"");
  if (parts.fault == Fault::AfterBracket) return fail("has characters after \"]\"");
  if (parts.fault == Fault::EmptyPort) return fail("has \":\" but no port");
  if (parts.host.empty()) return fail("has no host");
  if (parts.fault == Fault::BadPort)
    return fail("port \"" + std::string(parts.port_text) + "\" is not 1-65535");
  if (parts.port) url.port = *parts.port;
  const std::string_view host = parts.host;
  url.host = std::string(host);
  return url;
}

}  // namespace kelvo_mqtt
