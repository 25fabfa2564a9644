#include "codec/field_numbers.h"

#include <algorithm>

namespace codec {
namespace {

bool AllUpperHex(std::string_view digits) noexcept {
  return std::all_of(digits.begin(), digits.end(), IsUpperHexDigit);
}

// The bytes of a prefixed field ("03312E30": three bytes, "1.0") as text,
// when its count matches them and each is printable ASCII.
std::optional<std::string> PrefixedText(std::string_view value) {
  if (value.size() < kByteWidth || !AllUpperHex(value)) return std::nullopt;
  const std::string_view bytes = value.substr(kByteWidth);
  const auto count = ReadStrictHex(value.substr(0, kByteWidth));
  if (FieldWidth(FieldKind::Prefixed, *count) != value.size()) return std::nullopt;
  std::string text;
  text.reserve(*count);
  for (std::size_t i = 0; i < bytes.size(); i += kByteWidth) {
    const auto byte = *ReadStrictHex(bytes.substr(i, kByteWidth));
    if (byte < 0x20 || byte > 0x7E) return std::nullopt;
    text += static_cast<char>(byte);
  }
  return text;
}

}  // namespace

ItemNumbers ReadItemNumbers(const FrameItem& item) {
  ItemNumbers numbers;
  switch (item.role) {
    case ItemRole::StartMark:
    case ItemRole::EndMark: return numbers;
    case ItemRole::PayloadField: break;
    default:
      if (item.value.size() == ItemWidth(item.role)) numbers.number = ReadStrictHex(item.value);
      return numbers;
  }
  switch (item.kind) {
    case FieldKind::Fixed1:
    case FieldKind::Fixed2:
    case FieldKind::Fixed4:
      if (item.value.size() == FieldWidth(item.kind, 0)) numbers.number = ReadStrictHex(item.value);
      break;
    case FieldKind::Array1:
    case FieldKind::Array2:
    case FieldKind::Array4: {
      numbers.is_array = true;
      const std::size_t width = ElementWidth(item.kind);
      if (item.value.size() % width != 0 || !AllUpperHex(item.value)) break;
      numbers.numbers.reserve(item.value.size() / width);
      for (std::size_t i = 0; i < item.value.size(); i += width) {
        numbers.numbers.push_back(*ReadStrictHex(item.value.substr(i, width)));
      }
      break;
    }
    case FieldKind::Prefixed: numbers.text = PrefixedText(item.value); break;
  }
  return numbers;
}

}  // namespace codec
