// Frames out of a byte stream that arrives in pieces and carries noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "codec/frame_format.h"

namespace codec {

// The longest frame a live line can carry, and the longest one taken from a log.
inline constexpr std::size_t kWireFrameCap = kLongestFrame;
inline constexpr std::size_t kLogFrameCap = std::size_t{1} << 20;

struct ScanEvent {
  enum class Kind { Frame, Overlong };
  Kind kind;
  std::string_view frame;  // Frame: the whole "<...>", valid until the next Feed or Next; Overlong: empty
  std::size_t skipped;     // noise bytes dropped since the previous event (or the start)
  std::uint64_t offset;    // stream position (bytes since the first Feed) of the frame's "<"
};

// A frame is "<" up to the first ">"; a "<" before that ">" starts it again
// and what came before is noise. A frame of more than `cap` bytes, marks
// included, is dropped once (Kind::Overlong) and the bytes up to the next "<"
// are noise. Memory: at most `cap` bytes of an unfinished frame; frames that
// lie whole inside one piece are handed out in place, without a copy.
class FrameScanner {
 public:
  // `cap` below 2 is taken as 2, the shortest "<>".
  explicit FrameScanner(std::size_t cap);

  // Takes the next piece of the stream; `chunk` must stay valid until Next()
  // has returned none.
  void Feed(std::string_view chunk);
  // The next event from what was fed so far, or none when more input is
  // needed. Throws std::bad_alloc only while keeping an unfinished frame.
  [[nodiscard]] std::optional<ScanEvent> Next();

  // Bytes seen since the last event that no event covers, an unfinished
  // frame included: at the end of the stream, all of them are noise.
  [[nodiscard]] std::size_t pendingSkipped() const noexcept;
  // Whether a "<" has come whose frame has not ended yet.
  [[nodiscard]] bool insideFrame() const noexcept { return open_; }
  // Frames dropped for their length since the start or the last Reset.
  [[nodiscard]] std::uint64_t overlongCount() const noexcept { return overlong_; }
  // Forgets everything, as for a new stream (a port reopened).
  void Reset() noexcept;

 private:
  void Consume(std::size_t n) noexcept;
  std::optional<ScanEvent> Open();
  std::optional<ScanEvent> Continue();
  ScanEvent Overlong(std::uint64_t offset) noexcept;

  std::size_t cap_;
  std::string_view chunk_;          // what is left of the piece being read
  std::uint64_t chunk_offset_ = 0;  // stream position of chunk_.data()
  std::string partial_;             // an unfinished frame carried over from earlier pieces
  std::uint64_t partial_offset_ = 0;
  bool open_ = false;        // partial_ holds an unfinished frame
  bool handed_out_ = false;  // partial_ holds a frame handed out by the last Next
  std::size_t skipped_ = 0;
  std::uint64_t overlong_ = 0;
};

}  // namespace codec
