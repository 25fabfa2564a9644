#include "cli/quoted.h"

#include "codec/frame_text.h"

namespace kelvo_cli {
namespace {

void AppendHexEscape(unsigned char byte, std::string& out) {
  out += "\\x";
  out += codec::HexDigit(byte >> 4);
  out += codec::HexDigit(byte);
}

bool IsControl(unsigned char byte) noexcept {
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

std::string Quoted(std::string_view text, std::size_t limit) {
  std::string out = "\"";
  for (const char c : text.substr(0, limit)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (!IsControl(byte) && byte < 0x80) {
      out += c;
    } else {
      AppendHexEscape(byte, out);
    }
  }
  out += '"';
  if (text.size() > limit) out += "...";
  return out;
}

void AppendControlsEscaped(std::string_view text, std::string& out) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsControl(byte)) {
      AppendHexEscape(byte, out);
    } else {
      out += c;
    }
  }
}

}  // namespace kelvo_cli
