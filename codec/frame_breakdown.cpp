#include "codec/frame_breakdown.h"

#include <algorithm>
#include <cstdint>

#include "codec/frame_text.h"
#include "codec/payload_catalogue.h"

namespace codec {
namespace {

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
std::optional<int> ReadCountByte(std::string_view text, Position i) noexcept {
  const auto length = static_cast<Position>(text.size());
  if (i + 1 > length) return std::nullopt;
  const auto nibble = [&](Position j) -> int {
    return j == length ? 14 : HexNibbleValue(text[static_cast<std::size_t>(j)]);
  };
  return 16 * nibble(i) + nibble(i + 1);
}

// Characters taken by a field starting at p, reading its count where it has
// one; none when that count cannot be read.
std::optional<Position> WidthAt(std::string_view text, FieldKind kind, Position p) noexcept {
  const std::optional<int> count = HasCount(kind) ? ReadCountByte(text, p + CountOffset(kind)) : 0;
  if (!count) return std::nullopt;
  return static_cast<Position>(FieldWidth(kind, static_cast<std::size_t>(*count)));
}

Position At(std::size_t position) noexcept {
  return static_cast<Position>(position);
}

}  // namespace

InvalidArgumentError::InvalidArgumentError()
    : std::invalid_argument("frame breakdown: count byte lies past the end of the frame text") {}

std::optional<FrameItems> TryBreakDownFrame(std::string_view frame) noexcept {
  std::optional<FrameItems> result(std::in_place);
  FrameItems& items = *result;
  for (const HeaderField& field : kHeaderFields) {
    items.Append(ClampedSlice(frame, At(field.at), At(field.width)), ItemLabel(field.role), field.role);
  }

  // A known command is walked by its layout alone, whatever the length fields
  // say; any other skips the payload by its payload-length field.
  Position p = At(kPayloadAt);
  if (const auto layout = BreakdownLayout(frame)) {
    for (const FieldDescriptor& field : *layout) {
      const std::optional<Position> width = WidthAt(frame, field.kind, p);
      if (!width) {
        result.reset();
        return result;
      }
      items.Append(ClampedSlice(frame, p, *width), field.label, ItemRole::PayloadField, field.kind);
      p += *width;
    }
  } else {
    p += ParseHexNumber(ClampedSlice(frame, At(kPayloadLengthAt), At(kByteWidth)));
  }

  for (const ItemRole role : {ItemRole::CheckValue, ItemRole::EndMark}) {
    const Position width = At(ItemWidth(role));
    items.Append(ClampedSlice(frame, p, width), ItemLabel(role), role);
    p += width;
  }
  return result;
}

FrameItems BreakDownFrame(std::string_view frame) {
  std::optional<FrameItems> items = TryBreakDownFrame(frame);
  if (!items) throw InvalidArgumentError();
  return *items;
}

std::string AnnotateFrame(std::string_view frame) {
  const std::optional<FrameItems> breakdown = TryBreakDownFrame(frame);
  if (!breakdown) throw InvalidArgumentError();
  const FrameItems& items = *breakdown;
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
