// Finds the frames in a line of a captured log.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace kelvo_cli {

// The next frame of `line` at or after `pos`: from a "<" to the first ">"
// after it, both included. A frame holds neither "<" nor ">" inside, so of
// "<a <b>" only "<b>" is a frame. Advances `pos` past the frame. Returns none
// when no ">" closes a "<" (an unterminated "<" is not a frame).
[[nodiscard]] std::optional<std::string_view> NextFrame(std::string_view line, std::size_t& pos) noexcept;

}  // namespace kelvo_cli
