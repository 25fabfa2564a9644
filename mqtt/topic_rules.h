// What MQTT allows in a topic name the gateway publishes to.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo_mqtt {

// The longest topic name the protocol can carry, in bytes.
inline constexpr std::size_t kMaxTopicBytes = 65535;

// Why `text` cannot stand in an MQTT string (invalid UTF-8, or a control
// character U+0000-001F or U+007F-009F), saying where; "" when it can.
[[nodiscard]] std::string TextFault(std::string_view text);
// The same, and a wildcard "+" or "#" is refused too: for topic names.
[[nodiscard]] std::string TopicTextFault(std::string_view text);
// The same for a prefix that topics are built under: neither empty nor with a
// leading or trailing "/".
[[nodiscard]] std::string TopicPrefixFault(std::string_view text);

}  // namespace kelvo_mqtt
