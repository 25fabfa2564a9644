// Finds the frames of a captured log read as a stream, line by line.
#pragma once

#include <cstddef>
#include <string_view>

#include "cli/input_reader.h"
#include "codec/frame_scanner.h"

namespace kelvo_cli {

// Calls `on_frame(frame, line)` for every "<...>" frame of the input and
// `on_overlong(line)` for every frame longer than `cap` bytes, with the number
// of the line it stands on (from 1). A frame never spans lines: a line break
// ends an unfinished one. Memory is the reader's buffer and at most `cap`
// bytes of one frame, however long a line is. Returns the number of lines
// that hold no frame; a last line without "\n" counts when it is not empty.
template <typename OnFrame, typename OnOverlong>
std::size_t ScanLog(InputReader& in, std::size_t cap, OnFrame on_frame, OnOverlong on_overlong) {
  codec::FrameScanner scanner(cap);
  std::size_t line = 1;
  std::size_t without_frame = 0;
  bool any = false;      // the current line holds a frame
  bool started = false;  // the current line holds a byte
  for (std::string_view chunk = in.Next(); !chunk.empty(); chunk = in.Next()) {
    for (;;) {
      const std::size_t end = chunk.find('\n');
      const std::string_view piece = chunk.substr(0, end);
      started = started || !piece.empty();
      scanner.Feed(piece);
      while (const auto event = scanner.Next()) {
        any = true;
        if (event->kind == codec::ScanEvent::Kind::Frame) {
          on_frame(event->frame, line);
        } else {
          on_overlong(line);
        }
      }
      if (end == std::string_view::npos) break;
      if (!any) ++without_frame;
      ++line;
      any = started = false;
      scanner.Reset();
      chunk.remove_prefix(end + 1);
    }
  }
  if (started && !any) ++without_frame;
  return without_frame;
}

}  // namespace kelvo_cli
