// Reads a file descriptor line by line through one reusable buffer.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace kelvo_cli {

// Memory is the buffer alone, which grows only to hold the longest line, so a
// log of any length is read in constant memory. Lines may hold any byte, NUL
// included; "\n" ends a line and is not part of it. A last line without "\n"
// is still a line; an input ending in "\n" has no empty line after it.
class LineReader {
 public:
  explicit LineReader(int fd, std::size_t initial_capacity = std::size_t{1} << 18);

  // Sets `line` to the next line, valid until the next call, and returns true;
  // returns false at the end of the input. Throws std::system_error when the
  // read fails, and std::bad_alloc.
  bool Next(std::string_view& line);

 private:
  bool Fill();

  int fd_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;    // first byte of the current line
  std::size_t scanned_ = 0;  // bytes before this hold no "\n"
  std::size_t end_ = 0;      // end of the bytes read
  bool eof_ = false;
};

}  // namespace kelvo_cli
