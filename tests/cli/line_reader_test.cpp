#include "cli/line_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Every line of `input` read through a buffer of `capacity` bytes.
std::vector<std::string> Lines(const std::string& input, std::size_t capacity) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  EXPECT_EQ(std::fwrite(input.data(), 1, input.size(), file), input.size());
  std::fflush(file);
  std::rewind(file);
  kelvo_cli::LineReader reader(fileno(file), capacity);
  std::vector<std::string> lines;
  std::string_view line;
  while (reader.Next(line)) lines.emplace_back(line);
  std::fclose(file);
  return lines;
}

TEST(LineReaderTest, Table) {
  const std::string mib(std::size_t{1} << 20, 'x');
  const struct {
    std::string input;
    std::vector<std::string> lines;
  } rows[] = {
      {"", {}},
      {"\n", {""}},
      {"ab\n\ncd", {"ab", "", "cd"}},
      {"last line ends\n", {"last line ends"}},
      {std::string("a\0b\n\xFF\r\n", 7), {std::string("a\0b", 3), "\xFF\r"}},
      {mib + "\n" + mib, {mib, mib}},
  };
  // A 4-byte buffer grows for nearly every line; the default one rarely.
  for (const std::size_t capacity : {std::size_t{4}, std::size_t{1} << 18}) {
    for (const auto& row : rows) {
      EXPECT_EQ(Lines(row.input, capacity), row.lines)
          << "capacity " << capacity << ", input size " << row.input.size();
    }
  }
}

}  // namespace
