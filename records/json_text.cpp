#include "records/json_text.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

namespace kelvo_records {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// The escape for an ASCII byte, or 0 when it stands as it is; 'u' for \u00xx.
constexpr char EscapeOf(unsigned char c) {
  switch (c) {
    case '"': return '"';
    case '\\': return '\\';
    case '\b': return 'b';
    case '\f': return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    default: return c < 0x20 ? 'u' : 0;
  }
}

void AppendEscape(unsigned char c, char escape, std::string& out) {
  out += '\\';
  out += escape;
  if (escape == 'u') {
    out += "00";
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 0xF];
  }
}

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `i` (Unicode's table of
// well-formed byte sequences: no overlong forms, surrogates or code points
// past U+10FFFF), or 0.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(i);
  const std::size_t left = text.size() - i;
  if (lead >= 0xC2 && lead <= 0xDF) return left >= 2 && IsContinuation(at(i + 1)) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (left < 3 || !IsContinuation(at(i + 2))) return 0;
    const unsigned char second = at(i + 1);
    const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
    return second >= low && second <= high ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (left < 4 || !IsContinuation(at(i + 2)) || !IsContinuation(at(i + 3))) return 0;
    const unsigned char second = at(i + 1);
    const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
    return second >= low && second <= high ? 4 : 0;
  }
  return 0;
}

}  // namespace

void AppendJsonString(std::string_view text, std::string& out) {
  const std::size_t mark = out.size();
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (const char escape = EscapeOf(c); escape != 0) {
        AppendEscape(c, escape, out);
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    const std::size_t length = SequenceLength(text, i);
    if (length == 0) {
      // Rare (the converter's output is always valid): the library's own replacement.
      out.resize(mark);
      out += nlohmann::ordered_json(std::string(text))
                 .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
      return;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  out += '"';
}

void EscapeJsonFrom(std::size_t start, std::string& out) {
  std::size_t first = start;
  while (first < out.size() && EscapeOf(static_cast<unsigned char>(out[first])) == 0) ++first;
  if (first == out.size()) return;
  const std::string rest = out.substr(first);
  out.resize(first);
  for (const char c : rest) {
    const auto byte = static_cast<unsigned char>(c);
    if (const char escape = EscapeOf(byte); escape != 0) {
      AppendEscape(byte, escape, out);
    } else {
      out += c;
    }
  }
}

void AppendJsonInteger(std::int64_t n, std::string& out) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, n);
  out.append(text, result.ptr);
}

void AppendJsonUnsigned(std::uint64_t n, std::string& out) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, n);
  out.append(text, result.ptr);
}

void AppendJsonDouble(double x, std::string& out) {
  if (!std::isfinite(x)) {
    out += "null";
    return;
  }
  // The library's own shortest round-trip form, so that the bytes stay the same.
  char text[64];
  char* end = nlohmann::detail::to_chars(text, text + sizeof text, x);
  out.append(text, end);
}

}  // namespace kelvo_records
