#include "codec/frame_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "frame@offset+skipped" or "overlong@offset+skipped", then "rest N" for the
// bytes pending at the end.
std::vector<std::string> Events(const std::string& stream, std::size_t piece, std::size_t cap) {
  codec::FrameScanner scanner(cap);
  std::vector<std::string> events;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    scanner.Feed(std::string_view(stream).substr(at, piece));
    while (const auto event = scanner.Next()) {
      const std::string what =
          event->kind == codec::ScanEvent::Kind::Frame ? std::string(event->frame) : "overlong";
      events.push_back(what + "@" + std::to_string(event->offset) + "+" + std::to_string(event->skipped));
    }
  }
  events.push_back("rest " + std::to_string(scanner.pendingSkipped()));
  return events;
}

TEST(FrameScanner, FramesNoiseAndCap) {
  const struct {
    std::string stream;
    std::size_t cap;
    std::vector<std::string> events;
  } rows[] = {
      {"", 8, {"rest 0"}},
      {"ab<0B3>cd", 8, {"<0B3>@2+2", "rest 2"}},
      {"<a><b>", 8, {"<a>@0+0", "<b>@3+0", "rest 0"}},
      // A "<" before the ">" starts again: "<a " is noise.
      {"<a <b>", 8, {"<b>@3+3", "rest 0"}},
      {"<>", 2, {"<>@0+0", "rest 0"}},
      // Eight bytes fit a cap of 8; nine do not. The dropped frame's bytes and
      // everything up to the next "<" ("x>y>") are noise.
      {"<123456>", 8, {"<123456>@0+0", "rest 0"}},
      {"z<1234567>y<a>", 8, {"overlong@1+1", "<a>@11+10", "rest 0"}},
      {"<1234567", 8, {"overlong@0+0", "rest 8"}},
      // An unfinished frame at the end is pending.
      {"xx<ab", 8, {"rest 5"}},
      {std::string("\0<\xFF\0>", 5), 8, {std::string("<\xFF\0>", 4) + "@1+1", "rest 0"}},
  };
  for (const auto& row : rows) {
    // Whole, and one byte at a time so that every frame crosses pieces.
    for (const std::size_t piece : {row.stream.size() + 1, std::size_t{1}, std::size_t{3}}) {
      EXPECT_EQ(Events(row.stream, piece, row.cap), row.events) << row.stream << " in pieces of " << piece;
    }
  }
}

TEST(FrameScanner, ResetForgetsAnUnfinishedFrame) {
  codec::FrameScanner scanner(codec::kWireFrameCap);
  scanner.Feed("<0B30");
  EXPECT_FALSE(scanner.Next());
  scanner.Reset();
  scanner.Feed("18647><0B3018647>");
  const auto event = scanner.Next();
  ASSERT_TRUE(event);
  EXPECT_EQ(event->frame, "<0B3018647>");
  EXPECT_EQ(event->offset, 6u);
  EXPECT_EQ(event->skipped, 6u);
  EXPECT_EQ(scanner.overlongCount(), 0u);
}

// Live line cap: a 255-byte frame passes, a 256-byte one is dropped.
TEST(FrameScanner, WireCapIsTheLongestStatedLength) {
  codec::FrameScanner scanner(codec::kWireFrameCap);
  const std::string fits = "<" + std::string(253, 'A') + ">";
  const std::string too_long = "<" + std::string(254, 'A') + ">";
  const std::string stream = fits + too_long;
  scanner.Feed(stream);
  auto event = scanner.Next();
  ASSERT_TRUE(event);
  EXPECT_EQ(event->frame.size(), 255u);
  event = scanner.Next();
  ASSERT_TRUE(event);
  EXPECT_EQ(event->kind, codec::ScanEvent::Kind::Overlong);
  EXPECT_FALSE(scanner.Next());
  EXPECT_EQ(scanner.overlongCount(), 1u);
  EXPECT_EQ(scanner.pendingSkipped(), 256u);
}

}  // namespace
