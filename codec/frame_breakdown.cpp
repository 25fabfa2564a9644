#include "codec/frame_breakdown.h"

#include <algorithm>
#include <cstdint>

#include "codec/frame_text.h"
#include "codec/payload_catalogue.h"

namespace codec {
namespace {

// Fixed labels, GBK.
constexpr std::string_view kStartLabel = "\xBF\xAA\xCA\xBC\xD7\xD6\xB7\xFB";  // 开始字符
constexpr std::string_view kMessageLengthLabel =
    "\xCA\xFD\xBE\xDD\xB1\xA8\xCE\xC4\xB3\xA4\xB6\xC8";                 // 数据报文长度
constexpr std::string_view kVersionLabel = "\xB0\xE6\xB1\xBE";          // 版本
constexpr std::string_view kAddressLabel = "\xB5\xD8\xD6\xB7";          // 地址
constexpr std::string_view kCommandLabel = "\xC3\xFC\xC1\xEE\xD7\xD6";  // 命令字
constexpr std::string_view kPayloadLengthLabel =
    "\xCA\xFD\xBE\xDD\xB8\xBA\xD4\xD8\xB3\xA4\xB6\xC8";                         // 数据负载长度
constexpr std::string_view kCheckValueLabel = "\xD0\xA3\xD1\xE9\xD6\xB5";       // 校验值
constexpr std::string_view kEndMarkLabel = "\xBD\xE1\xCA\xF8\xB1\xEA\xCA\xB6";  // 结束标识

// Positions may run before the text (a negative payload length) or far past
// its end (a layout longer than the text), so they are signed and wide.
using Position = std::int64_t;

// At most `count` characters from `start`; whatever lies outside the text is
// left out, so the result may be short or empty. Never fails.
std::string_view ClampedSlice(std::string_view text, Position start, Position count) noexcept {
  const auto length = static_cast<Position>(text.size());
  start = std::max<Position>(start, 0);
  count = std::max<Position>(count, 0);
  if (start >= length) return {};
  return text.substr(static_cast<std::size_t>(start),
                     static_cast<std::size_t>(std::min(count, length - start)));
}

// The count byte written at i and i + 1. The end of the text reads as the
// nibble 14, like any other non-digit; a position beyond it cannot be read.
int ReadCountByte(std::string_view text, Position i) {
  const auto length = static_cast<Position>(text.size());
  const auto nibble = [&](Position j) -> int {
    if (j > length) throw InvalidArgumentError();
    return j == length ? 14 : HexNibbleValue(text[static_cast<std::size_t>(j)]);
  };
  const int high = nibble(i);
  return 16 * high + nibble(i + 1);
}

// Characters taken by a field starting at p, reading its count where it has one.
Position FieldWidth(std::string_view text, FieldKind kind, Position p) {
  switch (kind) {
    case FieldKind::Fixed1:
    case FieldKind::Fixed2:
    case FieldKind::Fixed4: return 2 * static_cast<Position>(kind);
    case FieldKind::Prefixed: return 2 + 2 * ReadCountByte(text, p);
    case FieldKind::Array2: return 4 * ReadCountByte(text, p - 2);
    case FieldKind::Array1: return 2 * ReadCountByte(text, p - 2);
    case FieldKind::Array4: return 8 * ReadCountByte(text, p - 2);
  }
  return 0;
}

}  // namespace

InvalidArgumentError::InvalidArgumentError()
    : std::invalid_argument("frame breakdown: count byte lies past the end of the frame text") {}

FrameItems BreakDownFrame(std::string_view frame) {
  FrameItems items;
  items.Append(ClampedSlice(frame, 0, 1), kStartLabel);
  items.Append(ClampedSlice(frame, 1, 2), kMessageLengthLabel);
  items.Append(ClampedSlice(frame, 3, 1), kVersionLabel);
  items.Append(ClampedSlice(frame, 4, 2), kAddressLabel);
  items.Append(ClampedSlice(frame, 6, 2), kCommandLabel);
  items.Append(ClampedSlice(frame, 8, 2), kPayloadLengthLabel);

  // A known command is walked by its layout alone, whatever the length fields
  // say; any other skips the payload by its payload-length field.
  Position p = 10;
  if (const auto layout = FindFieldLayout(ParseHexNumber(ClampedSlice(frame, 6, 2)))) {
    for (const FieldDescriptor& field : *layout) {
      const Position width = FieldWidth(frame, field.kind, p);
      items.Append(ClampedSlice(frame, p, width), field.label);
      p += width;
    }
  } else {
    p += ParseHexNumber(ClampedSlice(frame, 8, 2));
  }

  items.Append(ClampedSlice(frame, p, 2), kCheckValueLabel);
  items.Append(ClampedSlice(frame, p + 2, 2), kEndMarkLabel);
  return items;
}

std::string AnnotateFrame(std::string_view frame) {
  const FrameItems items = BreakDownFrame(frame);
  std::size_t size = 0;
  for (const FrameItem& item : items) size += item.value.size() + item.label.size() + 2;

  std::string text(size, '\0');
  char* out = text.data();
  const auto put = [&out](std::string_view part) { out = std::copy(part.begin(), part.end(), out); };
  for (const FrameItem& item : items) {
    put(item.value);
    *out++ = '(';
    put(item.label);
    *out++ = ')';
  }
  return text;
}

}  // namespace codec
