#include "cli/log_scan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Scan {
  std::vector<std::string> frames;  // "line: frame", "line: overlong"
  std::size_t lines_without_frame = 0;
};

// The log `input` read through a buffer of `capacity` bytes.
Scan ScanText(const std::string& input, std::size_t capacity, std::size_t cap = 16) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  EXPECT_EQ(std::fwrite(input.data(), 1, input.size(), file), input.size());
  std::fflush(file);
  std::rewind(file);
  kelvo_cli::InputReader reader(fileno(file), capacity);
  Scan scan;
  scan.lines_without_frame = kelvo_cli::ScanLog(
      reader, cap,
      [&](std::string_view frame, std::size_t line) {
        scan.frames.push_back(std::to_string(line) + ": " + std::string(frame));
      },
      [&](std::size_t line) { scan.frames.push_back(std::to_string(line) + ": overlong"); });
  std::fclose(file);
  return scan;
}

TEST(ScanLogTest, Table) {
  const struct {
    std::string input;
    std::vector<std::string> frames;
    std::size_t lines_without_frame;
  } rows[] = {
      {"", {}, 0},
      {"\n", {}, 1},
      {"12:00:01.250 rx <0B3008601> crc ok", {"1: <0B3008601>"}, 0},
      {"<a><b> <c>\n\n<d>", {"1: <a>", "1: <b>", "1: <c>", "3: <d>"}, 1},
      // A second "<" before the ">" starts the frame again.
      {"<a <b>", {"1: <b>"}, 0},
      // Unterminated "<" at the end, and a ">" with no "<".
      {"<a> <b", {"1: <a>"}, 0},
      {"a > b <\n", {}, 1},
      // A line break ends an unfinished frame.
      {"<ab\ncd>\n", {}, 2},
      {std::string("\0\xFF<a\0\x80>\xFE", 8), {std::string("1: <a\0\x80>", 8)}, 0},
      // Longer than the cap of 16 bytes: reported once, on its line, and the
      // frames after it on the line are found.
      {"x\n<0123456789ABCDEFGHIJ> <b>\n", {"2: overlong", "2: <b>"}, 1},
      {"<0123456789ABCD>", {"1: <0123456789ABCD>"}, 0},  // exactly 16
  };
  // A 3-byte buffer splits nearly every frame across reads.
  for (const std::size_t capacity : {std::size_t{3}, std::size_t{1} << 16}) {
    for (const auto& row : rows) {
      const Scan scan = ScanText(row.input, capacity);
      EXPECT_EQ(scan.frames, row.frames) << "capacity " << capacity << ": " << row.input;
      EXPECT_EQ(scan.lines_without_frame, row.lines_without_frame) << row.input;
    }
  }
}

}  // namespace
