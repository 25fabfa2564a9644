// Cuts a frame text into its labelled fields: header, payload fields by the
// command's layout, check value and end mark.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "codec/frame_format.h"
#include "codec/payload_catalogue.h"

namespace codec {

// Raised when a count byte would have to be read past the end of the frame.
class InvalidArgumentError : public std::invalid_argument {
 public:
  static constexpr std::uint32_t kStatus = 0x80070057;  // E_INVALIDARG

  InvalidArgumentError();
  [[nodiscard]] std::uint32_t status() const noexcept { return kStatus; }
};

// One field of the breakdown: its characters as they stand in the frame (a
// view into the frame text), its label (GBK, without parentheses, owned by
// the codec), what it is, and for a payload field its kind.
struct FrameItem {
  std::string_view value;
  std::string_view label;
  ItemRole role = ItemRole::PayloadField;
  FieldKind kind = FieldKind::Fixed1;
};

// The items of one frame, in order: the header, the payload fields of the
// longest layout at most, the trailer. The capacity is fixed, so a breakdown
// needs no allocation; the catalogue asserts that its layouts fit.
class FrameItems {
 public:
  static constexpr std::size_t kCapacity = kHeaderItems + kMostPayloadFields + kTrailerItems;

  [[nodiscard]] std::span<const FrameItem> view() const noexcept { return {items_.data(), count_}; }
  [[nodiscard]] auto begin() const noexcept { return view().begin(); }
  [[nodiscard]] auto end() const noexcept { return view().end(); }
  [[nodiscard]] std::size_t size() const noexcept { return count_; }
  [[nodiscard]] const FrameItem& operator[](std::size_t i) const noexcept { return items_[i]; }

  // Member by member: a whole temporary item copied in costs a stalled load.
  void Append(std::string_view value, std::string_view label, ItemRole role,
              FieldKind kind = FieldKind::Fixed1) noexcept {
    FrameItem& item = items_[count_++];
    item.value = value;
    item.label = label;
    item.role = role;
    item.kind = kind;
  }

 private:
  std::array<FrameItem, kCapacity> items_{};
  std::size_t count_ = 0;
};

// The labelled fields of `frame`; values are views into `frame`, which must
// outlive the result. Cuts and labels only: nothing is converted, checked or
// recomputed, and fields past the end of the text are cut short or empty.
// Throws InvalidArgumentError when a count byte lies past the end of the text.
[[nodiscard]] FrameItems BreakDownFrame(std::string_view frame);

// The breakdown as one GBK line: every item's value followed by its label in
// ASCII parentheses, with nothing between items. Throws InvalidArgumentError
// as BreakDownFrame does (no partial text), and std::bad_alloc.
[[nodiscard]] std::string AnnotateFrame(std::string_view frame);

}  // namespace codec
