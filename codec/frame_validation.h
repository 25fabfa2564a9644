// Whether a frame is well formed, as findings a program can act on: what is
// wrong, in which item, at which character, and the two values that differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "codec/frame_format.h"

namespace codec {

enum class FrameFault {
  StartMark,         // the first character is not "<"
  EndMark,           // the last character is not ">", or there is none
  TooShort,          // fewer characters than the shortest frame of its shape
  MessageLength,     // the message length differs from the text's length
  PayloadLength,     // the payload length differs from the payload's
  NotUpperHex,       // a numeric field, a count or payload character is not upper-case hex
  PayloadOddLength,  // the payload has an odd number of characters
  LayoutShort,       // the payload ends inside a field of the command's layout
  LayoutLong,        // the payload goes on after the layout's last field
  UnknownCommand,    // the command has no layout (only when asked for)
  CheckValue,        // the check value received is not the one computed
};

struct FrameFinding {
  FrameFault fault{};
  int field = -1;                           // item index in BreakDownFrame's order; -1: the frame as a whole
  std::string_view label{};                 // that item's GBK label, empty when none
  std::size_t position = 0;                 // character position in the frame where the fault is
  std::optional<std::uint32_t> expected{};  // what the rest of the frame implies
  std::optional<std::uint32_t> actual{};    // what the frame states
  ItemRole role = ItemRole::PayloadField;   // the item's role, when `field` is not -1
  std::string_view text{};                  // the characters at fault, a view into the frame
  std::size_t more = 0;                     // NotUpperHex in the payload: further bad characters
  bool in_count = false;                    // NotUpperHex: in the count byte that sizes `field`
};

// UnknownCommand is reported only with RequireKnownCommand; a well-formed
// frame of an uncatalogued command is otherwise well formed.
enum class ValidationMode { AnyCommand, RequireKnownCommand };

// Every finding about `frame`, in frame order; empty when it is well formed.
// Fields are found from the text's own length, never from its counts, so a
// wrong count is a finding instead of moving everything after it. `text` and
// `label` views live as long as `frame` and the program. Throws std::bad_alloc.
[[nodiscard]] std::vector<FrameFinding> ValidateFrame(std::string_view frame,
                                                      ValidationMode mode = ValidationMode::AnyCommand);

}  // namespace codec
