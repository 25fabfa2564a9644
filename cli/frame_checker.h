// The sentences `kelvo-frame check` prints for the codec's findings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvo_cli {

// Every finding of codec::ValidateFrame about `frame`, in frame order, each as
// one ASCII sentence in which frame characters are quoted with C escapes; only
// payload field labels are the codec's GBK text. None when the frame is well
// formed. Throws std::bad_alloc.
[[nodiscard]] std::vector<std::string> CheckFrame(std::string_view frame);

}  // namespace kelvo_cli
