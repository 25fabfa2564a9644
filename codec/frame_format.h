// The frame grammar, stated once: where each header field stands, how wide
// every field is, and how a field's digits are read strictly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "codec/payload_catalogue.h"

namespace codec {

// What an item of a frame is; the header's roles come in frame order.
enum class ItemRole {
  StartMark,
  MessageLength,
  Version,
  Address,
  Command,
  PayloadLength,
  PayloadField,
  CheckValue,
  EndMark
};

inline constexpr char kStartMark = '<';
inline constexpr char kEndMark = '>';
inline constexpr char kVersionDigit = '3';  // the version a request carries

// Every number of the header and trailer is one byte, two digits; the
// version is a single digit.
inline constexpr std::size_t kByteWidth = 2;
inline constexpr std::size_t kVersionWidth = 1;

inline constexpr std::size_t kLengthAt = 1;
inline constexpr std::size_t kVersionAt = kLengthAt + kByteWidth;
inline constexpr std::size_t kAddressAt = kVersionAt + kVersionWidth;
inline constexpr std::size_t kCommandAt = kAddressAt + kByteWidth;
inline constexpr std::size_t kPayloadLengthAt = kCommandAt + kByteWidth;
inline constexpr std::size_t kPayloadAt = kPayloadLengthAt + kByteWidth;

// The check value and the end mark close every frame.
inline constexpr std::size_t kTrailerWidth = kByteWidth + 1;
// Without a payload the payload length is left out as well, and the check
// value stands where it would be.
inline constexpr std::size_t kShortestFrame = kPayloadLengthAt + kTrailerWidth;
inline constexpr std::size_t kShortestWithPayload = kPayloadAt + 1 + kTrailerWidth;
// The most the message length field can state.
inline constexpr std::size_t kLongestFrame = 0xFF;

// What the check value covers: everything between the start mark and the
// check value. `frame` must hold at least kTrailerWidth + 1 characters.
[[nodiscard]] constexpr std::string_view CoveredByCheck(std::string_view frame) noexcept {
  return frame.substr(1, frame.size() - 1 - kTrailerWidth);
}
[[nodiscard]] constexpr std::size_t CheckValueAt(std::size_t frame_length) noexcept {
  return frame_length - kTrailerWidth;
}

// The breakdown shows two characters where the end mark stands.
inline constexpr std::size_t kEndMarkItemWidth = 2;

struct HeaderField {
  ItemRole role;
  std::size_t at;
  std::size_t width;
};

// The header items, in frame order: item i of a breakdown has role i.
inline constexpr std::array<HeaderField, 6> kHeaderFields{{
    {ItemRole::StartMark, 0, 1},
    {ItemRole::MessageLength, kLengthAt, kByteWidth},
    {ItemRole::Version, kVersionAt, kVersionWidth},
    {ItemRole::Address, kAddressAt, kByteWidth},
    {ItemRole::Command, kCommandAt, kByteWidth},
    {ItemRole::PayloadLength, kPayloadLengthAt, kByteWidth},
}};
inline constexpr std::size_t kHeaderItems = kHeaderFields.size();
inline constexpr std::size_t kTrailerItems = 2;  // check value, end mark

// Characters of an item of `role` other than a payload field (0 for those).
[[nodiscard]] constexpr std::size_t ItemWidth(ItemRole role) noexcept {
  switch (role) {
    case ItemRole::PayloadField: return 0;
    case ItemRole::CheckValue: return kByteWidth;
    case ItemRole::EndMark: return kEndMarkItemWidth;
    default: return kHeaderFields[static_cast<std::size_t>(role)].width;
  }
}

// Characters of one element of an array field; 0 for other kinds.
[[nodiscard]] constexpr std::size_t ElementWidth(FieldKind kind) noexcept {
  switch (kind) {
    case FieldKind::Array1: return kByteWidth;
    case FieldKind::Array2: return 2 * kByteWidth;
    case FieldKind::Array4: return 4 * kByteWidth;
    default: return 0;
  }
}

// Characters of a payload field of `kind` whose count byte reads `count`
// (ignored by the fixed kinds, which are as many bytes wide as their code).
[[nodiscard]] constexpr std::size_t FieldWidth(FieldKind kind, std::size_t count) noexcept {
  switch (kind) {
    case FieldKind::Fixed1:
    case FieldKind::Fixed2:
    case FieldKind::Fixed4: return kByteWidth * static_cast<std::size_t>(kind);
    case FieldKind::Prefixed: return kByteWidth + kByteWidth * count;
    case FieldKind::Array1:
    case FieldKind::Array2:
    case FieldKind::Array4: return ElementWidth(kind) * count;
  }
  return 0;
}

// Whether a field of `kind` takes its width from a count byte, and where
// that byte starts relative to the field: a prefixed field opens with its
// own, an array takes the byte just before it.
[[nodiscard]] constexpr bool HasCount(FieldKind kind) noexcept {
  return kind != FieldKind::Fixed1 && kind != FieldKind::Fixed2 && kind != FieldKind::Fixed4;
}
[[nodiscard]] constexpr std::ptrdiff_t CountOffset(FieldKind kind) noexcept {
  return kind == FieldKind::Prefixed ? 0 : -static_cast<std::ptrdiff_t>(kByteWidth);
}

[[nodiscard]] constexpr bool IsUpperHexDigit(char c) noexcept {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The value of `digits` when every one is "0"-"9" or "A"-"F"; none when one
// is not, when there are none, or when there are more than eight.
[[nodiscard]] std::optional<std::uint32_t> ReadStrictHex(std::string_view digits) noexcept;

// The GBK label (without parentheses, owned by the codec) of an item of
// `role`; empty for payload fields, which take theirs from the catalogue.
[[nodiscard]] std::string_view ItemLabel(ItemRole role) noexcept;

// The layout the breakdown walks `frame` by: its command field read with
// ParseHexNumber, so that " 8" or "e6" select a layout as they always have.
[[nodiscard]] std::optional<FieldLayout> BreakdownLayout(std::string_view frame) noexcept;

}  // namespace codec
