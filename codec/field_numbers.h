// The numbers a frame's items stand for, for JSON, tables and charts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/frame_breakdown.h"

namespace codec {

struct ItemNumbers {
  // Numeric header fields (message length, version, address, command, payload
  // length, check value) and fixed-width payload fields: the big-endian
  // unsigned value of the digits.
  std::optional<std::uint64_t> number;
  bool is_array = false;               // an array payload field (Array1/2/4)
  std::vector<std::uint32_t> numbers;  // its elements, element width from the kind
  std::optional<std::string> text;     // a prefixed field whose bytes are printable ASCII
};

// Each part is absent (none / empty with is_array still true / none) where
// the item's text is not complete upper-case hex: a field cut short by the
// end of the frame, an array with a partial element, a prefixed field whose
// count disagrees with its bytes. Start and end marks carry nothing.
// Throws only std::bad_alloc.
[[nodiscard]] ItemNumbers ReadItemNumbers(const FrameItem& item);

}  // namespace codec
