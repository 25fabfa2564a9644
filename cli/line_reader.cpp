#include "cli/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace kelvo_cli {

LineReader::LineReader(int fd, std::size_t initial_capacity) : fd_(fd), buffer_(initial_capacity) {}

bool LineReader::Next(std::string_view& line) {
  for (;;) {
    const char* data = buffer_.data();
    if (const void* nl = std::memchr(data + scanned_, '\n', end_ - scanned_)) {
      const auto at = static_cast<std::size_t>(static_cast<const char*>(nl) - data);
      line = std::string_view(data + begin_, at - begin_);
      begin_ = scanned_ = at + 1;
      return true;
    }
    scanned_ = end_;
    if (eof_ || !Fill()) {
      if (begin_ == end_) return false;
      line = std::string_view(buffer_.data() + begin_, end_ - begin_);
      begin_ = scanned_ = end_;
      return true;
    }
  }
}

// Moves the unfinished line to the front, grows the buffer when that line
// fills it, and reads more. Returns false at the end of the input.
bool LineReader::Fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    scanned_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (got > 0) {
      end_ += static_cast<std::size_t>(got);
      return true;
    }
    if (got == 0) {
      eof_ = true;
      return false;
    }
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "reading standard input");
  }
}

}  // namespace kelvo_cli
