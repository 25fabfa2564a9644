#include "cli/quoted.h"

#include <optional>

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

std::optional<unsigned char> EscapedByte(std::string_view text) noexcept {
  if (text.size() < 4 || text[0] != '\\' || text[1] != 'x') return std::nullopt;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  const int high = digit(text[2]);
  const int low = digit(text[3]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<unsigned char>(high * 16 + low);
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

void AppendFrameEscaped(std::string_view frame, bool all_controls, std::string& out) {
  for (const char c : frame) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '\r' || c == '\n' || (all_controls && IsControl(byte))) {
      AppendHexEscape(byte, out);
    } else {
      out += c;
    }
  }
}

std::string UnescapeFrame(std::string_view text) {
  std::string frame;
  frame.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (const std::optional<unsigned char> byte = EscapedByte(text.substr(i))) {
      frame += static_cast<char>(*byte);
      i += 3;
    } else {
      frame += text[i];
    }
  }
  return frame;
}

}  // namespace kelvo_cli
