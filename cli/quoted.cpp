#include "cli/quoted.h"

#include "codec/frame_text.h"

namespace kelvo_cli {

std::string Quoted(std::string_view text, std::size_t limit) {
  std::string out = "\"";
  for (const char c : text.substr(0, limit)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      out += "\\x";
      out += codec::HexDigit(byte >> 4);
      out += codec::HexDigit(byte);
    }
  }
  out += '"';
  if (text.size() > limit) out += "...";
  return out;
}

}  // namespace kelvo_cli
