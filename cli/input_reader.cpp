#include "cli/input_reader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kelvo_cli {

InputReader::InputReader(int fd, std::size_t capacity) : fd_(fd), buffer_(capacity) {}

std::string_view InputReader::Next() {
  if (before_wait_) {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, 0) == 0) before_wait_();
  }
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got >= 0) return {buffer_.data(), static_cast<std::size_t>(got)};
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "reading standard input");
  }
}

}  // namespace kelvo_cli
