#include "codec/frame_scanner.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>

namespace codec {
namespace {

// Position of the first "<" or ">" in `text`, or npos: both marks in one
// pass over the frame's bytes, sixteen at a time where SSE2 is there.
inline std::size_t FindMark(std::string_view text) noexcept {
  const char* const p = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i start = _mm_set1_epi8(kStartMark);
  const __m128i end = _mm_set1_epi8(kEndMark);
  const auto marks = [&](std::size_t at) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, start), _mm_cmpeq_epi8(block, end))));
  };
  for (; i + 32 <= n; i += 32) {
    const unsigned mask = marks(i) | marks(i + 16) << 16;
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
  if (i + 16 <= n) {
    if (const unsigned mask = marks(i); mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    i += 16;
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == kStartMark || p[i] == kEndMark) return i;
  }
  return std::string_view::npos;
}

// Built member by member where it is returned: a whole event copied in costs
// a stalled load a frame.
std::optional<ScanEvent> FrameEvent(std::string_view frame, std::size_t skipped,
                                    std::uint64_t offset) noexcept {
  std::optional<ScanEvent> event(std::in_place);
  event->kind = ScanEvent::Kind::Frame;
  event->frame = frame;
  event->skipped = skipped;
  event->offset = offset;
  return event;
}

}  // namespace

FrameScanner::FrameScanner(std::size_t cap) : cap_(std::max<std::size_t>(cap, 2)) {}

void FrameScanner::Feed(std::string_view chunk) {
  chunk_offset_ += chunk_.size();  // whatever was not read counts as passed
  skipped_ += chunk_.size();
  chunk_ = chunk;
}

std::size_t FrameScanner::pendingSkipped() const noexcept {
  return skipped_ + (open_ ? partial_.size() : 0);
}

void FrameScanner::Reset() noexcept {
  chunk_ = {};
  chunk_offset_ = 0;
  partial_.clear();
  partial_offset_ = 0;
  open_ = false;
  handed_out_ = false;
  skipped_ = 0;
  overlong_ = 0;
}

void FrameScanner::Consume(std::size_t n) noexcept {
  chunk_.remove_prefix(n);
  chunk_offset_ += n;
}

ScanEvent FrameScanner::Overlong(std::uint64_t offset) noexcept {
  ++overlong_;
  const ScanEvent event{ScanEvent::Kind::Overlong, {}, skipped_, offset};
  skipped_ = cap_;  // the frame's bytes so far are noise now
  return event;
}

std::optional<ScanEvent> FrameScanner::Next() {
  if (handed_out_) {
    partial_.clear();
    handed_out_ = false;
  }
  for (;;) {
    if (open_) {
      if (auto event = Continue()) return event;
    } else {
      if (auto event = Open()) return event;
    }
    if (chunk_.empty()) return std::nullopt;
  }
}

// Not inside a frame: finds the next "<" and, when the frame lies whole in
// this piece, hands it out in place.
std::optional<ScanEvent> FrameScanner::Open() {
  // Noise may hold stray ">"; only a "<" opens a frame.
  std::size_t start = FindMark(chunk_);
  while (start != std::string_view::npos && chunk_[start] != kStartMark) {
    const std::size_t next = FindMark(chunk_.substr(start + 1));
    start = next == std::string_view::npos ? next : start + 1 + next;
  }
  if (start == std::string_view::npos) {
    skipped_ += chunk_.size();
    Consume(chunk_.size());
    return std::nullopt;
  }
  skipped_ += start;
  Consume(start);
  for (;;) {
    // The bytes the frame may still take after its "<".
    const std::string_view window = chunk_.substr(1, cap_ - 1);
    const std::size_t mark = FindMark(window);
    if (mark != std::string_view::npos && window[mark] == kStartMark) {
      skipped_ += 1 + mark;  // starts again at the later "<"
      Consume(1 + mark);
      continue;
    }
    if (mark != std::string_view::npos) {
      std::optional<ScanEvent> event = FrameEvent(chunk_.substr(0, mark + 2), skipped_, chunk_offset_);
      skipped_ = 0;
      Consume(mark + 2);
      return event;
    }
    if (window.size() == cap_ - 1) {
      const std::uint64_t offset = chunk_offset_;
      Consume(cap_);
      return Overlong(offset);
    }
    partial_.assign(chunk_);
    partial_offset_ = chunk_offset_;
    open_ = true;
    Consume(chunk_.size());
    return std::nullopt;
  }
}

// Inside a frame carried over from earlier pieces: looks for its end in this one.
std::optional<ScanEvent> FrameScanner::Continue() {
  const std::string_view window = chunk_.substr(0, cap_ - partial_.size());
  const std::size_t mark = FindMark(window);
  if (mark != std::string_view::npos && window[mark] == kStartMark) {
    skipped_ += partial_.size() + mark;
    partial_.clear();
    open_ = false;
    Consume(mark);
    return std::nullopt;
  }
  if (mark != std::string_view::npos) {
    partial_.append(window.substr(0, mark + 1));
    Consume(mark + 1);
    open_ = false;
    handed_out_ = true;
    std::optional<ScanEvent> event = FrameEvent(partial_, skipped_, partial_offset_);
    skipped_ = 0;
    return event;
  }
  if (partial_.size() + window.size() == cap_) {
    Consume(window.size());
    partial_.clear();
    open_ = false;
    return Overlong(partial_offset_);
  }
  partial_.append(window);
  Consume(window.size());
  return std::nullopt;
}

}  // namespace codec
