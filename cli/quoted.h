// Frame bytes made safe to print inside a message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo_cli {

// `text` in double quotes: printable ASCII as it stands, '"' and '\' with a
// backslash, every other byte as \xHH. At most `limit` bytes are shown; a
// longer text ends in "..." after the closing quote.
[[nodiscard]] std::string Quoted(std::string_view text, std::size_t limit = 64);

// Appends `text` with its control characters (0x00-0x1F, 0x7F) as \xHH, so
// that a captured frame shown on a terminal cannot drive it.
void AppendControlsEscaped(std::string_view text, std::string& out);

// Appends a frame for one line of a log: "\\" and the line ends CR and LF as
// \xHH, and with `all_controls` (a terminal) every control character too.
// UnescapeFrame turns the text back into the same frame.
void AppendFrameEscaped(std::string_view frame, bool all_controls, std::string& out);

// `text` with every \xHH (hex digits of either case) turned back into its byte.
[[nodiscard]] std::string UnescapeFrame(std::string_view text);

}  // namespace kelvo_cli
