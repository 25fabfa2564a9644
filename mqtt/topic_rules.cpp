#include "mqtt/topic_rules.h"

#include <cstdint>
#include <cstdio>

namespace kelvo_mqtt {
namespace {

std::string Where(std::size_t at) {
  return " at byte " + std::to_string(at + 1);
}

std::string CodePoint(std::uint32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

// The code point at `text[at]` and its length in bytes; length 0 when the bytes there are no UTF-8.
struct Decoded {
  std::uint32_t code = 0;
  std::size_t length = 0;
};

Decoded DecodeAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  std::uint32_t code = 0;
  std::uint32_t lowest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1Fu, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0Fu, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07u, lowest = 0x10000;
  } else {
    return {};
  }
  if (at + length > text.size()) return {};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {};
    code = (code << 6) | (byte(at + i) & 0x3Fu);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are no UTF-8 either.
  if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return {};
  return {code, length};
}

std::string Fault(std::string_view text, bool topic) {
  for (std::size_t at = 0; at < text.size();) {
    const Decoded d = DecodeAt(text, at);
    if (d.length == 0) return "is not valid UTF-8" + Where(at);
    if (d.code <= 0x1F || (d.code >= 0x7F && d.code <= 0x9F)) {
      return "holds the control character " + CodePoint(d.code) + Where(at);
    }
    if (topic && (d.code == '+' || d.code == '#'))
      return "holds the wildcard \"" + std::string(1, char(d.code)) + "\"" + Where(at);
    at += d.length;
  }
  return {};
}

}  // namespace

std::string TextFault(std::string_view text) {
  return Fault(text, false);
}

std::string TopicTextFault(std::string_view text) {
  return Fault(text, true);
}

std::string TopicPrefixFault(std::string_view text) {
  if (text.empty() || text.front() == '/' || text.back() == '/')
    return "must be a topic without \"+\", \"#\" or a leading or trailing \"/\"";
  return Fault(text, true);
}

}  // namespace kelvo_mqtt
