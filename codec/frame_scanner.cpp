#include "codec/frame_scanner.h"

#include <algorithm>
#include <cstring>

namespace codec {
namespace {

// Position of the first `c` in `text`, or npos; memchr, for speed.
std::size_t Find(std::string_view text, char c) noexcept {
  const void* at = std::memchr(text.data(), c, text.size());
  return at == nullptr ? std::string_view::npos
                       : static_cast<std::size_t>(static_cast<const char*>(at) - text.data());
}

// Position of the last `c` in `text`, or npos.
std::size_t FindLast(std::string_view text, char c) noexcept {
  const void* at = ::memrchr(text.data(), c, text.size());
  return at == nullptr ? std::string_view::npos
                       : static_cast<std::size_t>(static_cast<const char*>(at) - text.data());
}

}  // namespace

FrameScanner::FrameScanner(std::size_t cap) : cap_(std::max<std::size_t>(cap, 2)) {}

void FrameScanner::Feed(std::string_view chunk) {
  chunk_offset_ += chunk_.size();  // whatever was not read counts as passed
  skipped_ += chunk_.size();
  chunk_ = chunk;
}

std::size_t FrameScanner::pending_skipped() const noexcept {
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
  const std::size_t start = Find(chunk_, kStartMark);
  if (start == std::string_view::npos) {
    skipped_ += chunk_.size();
    Consume(chunk_.size());
    return std::nullopt;
  }
  skipped_ += start;
  Consume(start);
  // The bytes the frame may still take after its "<".
  const std::string_view window = chunk_.substr(1, cap_ - 1);
  const std::size_t close = Find(window, kEndMark);
  const std::size_t restart = FindLast(window.substr(0, close), kStartMark);
  if (restart != std::string_view::npos) {
    skipped_ += 1 + restart;
    Consume(1 + restart);
    return std::nullopt;  // the loop opens again at the later "<"
  }
  if (close != std::string_view::npos) {
    const ScanEvent event{ScanEvent::Kind::Frame, chunk_.substr(0, close + 2), skipped_, chunk_offset_};
    skipped_ = 0;
    Consume(close + 2);
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

// Inside a frame carried over from earlier pieces: looks for its end in this one.
std::optional<ScanEvent> FrameScanner::Continue() {
  const std::string_view window = chunk_.substr(0, cap_ - partial_.size());
  const std::size_t close = Find(window, kEndMark);
  const std::size_t restart = FindLast(window.substr(0, close), kStartMark);
  if (restart != std::string_view::npos) {
    skipped_ += partial_.size() + restart;
    partial_.clear();
    open_ = false;
    Consume(restart);
    return std::nullopt;
  }
  if (close != std::string_view::npos) {
    partial_.append(window.substr(0, close + 1));
    Consume(close + 1);
    open_ = false;
    handed_out_ = true;
    const ScanEvent event{ScanEvent::Kind::Frame, partial_, skipped_, partial_offset_};
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
