// Tells whether a frame text is well formed: what the breakdown deliberately
// leaves unchecked.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvo_cli {

// Every finding about `frame`, in frame order; none when it is well formed.
// Checked: start character and end mark, message length against the text's
// length, payload length against the payload, upper-case hexadecimal digits in
// the numeric fields and the payload, the payload walked by its command's
// layout, and the check value computed against the one received. Each finding
// is one ASCII sentence in which frame characters are quoted with C escapes;
// only payload field labels are the codec's GBK text. Throws std::bad_alloc.
[[nodiscard]] std::vector<std::string> CheckFrame(std::string_view frame);

}  // namespace kelvo_cli
