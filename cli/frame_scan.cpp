#include "cli/frame_scan.h"

namespace kelvo_cli {

std::optional<std::string_view> NextFrame(std::string_view line, std::size_t& pos) noexcept {
  const std::size_t start = line.find('<', pos);
  const std::size_t close = start == std::string_view::npos ? start : line.find('>', start + 1);
  if (close == std::string_view::npos) {
    pos = line.size();
    return std::nullopt;
  }
  // The last "<" before the ">" starts the frame.
  const std::size_t open = line.rfind('<', close);
  pos = close + 1;
  return line.substr(open, close + 1 - open);
}

}  // namespace kelvo_cli
