// An answer's payload fields as the window shows them: label in UTF-8, the
// field's hex text and its numbers, read with the codec.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profile/profile_values.h"

namespace kelvo_monitor {

struct AnswerField {
  int index = 0;  // among the payload fields, layout order
  QString label;
  std::string_view label_gbk;  // the codec's, for the profile's FieldForLabel
  QString hex;                 // the field's characters as they stand in the frame
  bool is_array = false;
  std::optional<std::uint64_t> number;  // a fixed-width field
  std::vector<std::uint32_t> numbers;   // an array field's elements
  std::optional<std::string> text;      // a prefixed field of printable characters

  // "1234", "3301 3302 ..." for arrays, the text of a prefixed field, or ""
  // when the characters are not hex.
  [[nodiscard]] QString DecimalText() const;
};

// The payload fields of `frame` in layout order; empty when its command has
// no layout or the frame cannot be broken down. Never throws but bad_alloc.
[[nodiscard]] std::vector<AnswerField> ReadAnswerFields(std::string_view frame);
// The same, and with a profile its values (ApplyProfile's) in `values`, from
// one breakdown of the frame; `values` is emptied without one.
[[nodiscard]] std::vector<AnswerField> ReadAnswerFields(std::string_view frame,
                                                        const kelvo_profile::Profile* profile,
                                                        std::vector<kelvo_profile::ProfileValue>& values);

// The payload labels of command `command`'s layout, in UTF-8; empty when the
// codec has none.
[[nodiscard]] std::vector<QString> LayoutLabels(int command);

// The command code of a frame's header, or -1 when it is not hex.
[[nodiscard]] int FrameCommand(std::string_view frame);

// The indices of the 0xC2 answer's fields the window gives a place of their own.
inline constexpr int kC2TotalVoltage = 3;
inline constexpr int kC2CellVoltages = 5;
inline constexpr int kC2ChargeCurrent = 6;
inline constexpr int kC2DischargeCurrent = 7;
inline constexpr int kC2SensorTemperatures = 9;
inline constexpr int kC2CapacityPercent = 23;

}  // namespace kelvo_monitor
