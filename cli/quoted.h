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

}  // namespace kelvo_cli
