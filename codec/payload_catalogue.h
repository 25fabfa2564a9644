// The fixed payload layouts of the eight command codes the codec knows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace codec {

// For the fixed kinds the code is the width in bytes. Prefixed fields carry
// their own count byte; array fields take their count from the byte just
// before them.
enum class FieldKind : std::int32_t {
  Fixed1 = 1,
  Fixed2 = 2,
  Fixed4 = 4,
  Prefixed = 0x100,
  Array2 = 0x101,
  Array1 = 0x102,
  Array4 = 0x103,
};

// One payload field. `label` is GBK text without parentheses, owned by the
// catalogue for the life of the program.
struct FieldDescriptor {
  FieldKind kind;
  std::string_view label;
};

// The fields of one command's payload, first field first.
using FieldLayout = std::span<const FieldDescriptor>;

// The most fields a layout of the catalogue has.
inline constexpr std::size_t kMostPayloadFields = 29;

// The layout whose code equals `command` exactly, or none: 0x42, 0x48, 0x65,
// 0x66 (host requests) and 0xC2, 0xC8, 0xE5, 0xE6 (unit answers).
[[nodiscard]] std::optional<FieldLayout> FindFieldLayout(std::int32_t command) noexcept;

}  // namespace codec
