#include "cli/frame_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> Frames(std::string_view line) {
  std::vector<std::string> frames;
  std::size_t pos = 0;
  while (const auto frame = kelvo_cli::NextFrame(line, pos)) frames.emplace_back(*frame);
  return frames;
}

TEST(NextFrameTest, Table) {
  const struct {
    std::string line;
    std::vector<std::string> frames;
  } rows[] = {
      {"", {}},
      {"12:00:01.250 rx <0B3008601> crc ok", {"<0B3008601>"}},
      {"<a><b> <c>", {"<a>", "<b>", "<c>"}},
      {"<>", {"<>"}},
      // A second "<" before the ">" restarts the frame.
      {"<a <b>", {"<b>"}},
      // Unterminated "<" at the end, and a ">" with no "<".
      {"<a> <b", {"<a>"}},
      {"a > b <", {}},
      {std::string("\0\xFF<a\0\x80>\xFE", 8), {std::string("<a\0\x80>", 5)}},
  };
  for (const auto& row : rows) EXPECT_EQ(Frames(row.line), row.frames) << row.line;
}

}  // namespace
