#include "cli/output.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kelvo_cli {

Output::Output(int fd, std::size_t flush_at) : fd_(fd), flush_at_(flush_at) {
  text_.reserve(flush_at + 4096);
}

void Output::Flush() {
  const char* p = text_.data();
  std::size_t left = text_.size();
  while (left > 0) {
    const ssize_t put = ::write(fd_, p, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      text_.clear();
      throw std::system_error(errno, std::generic_category(), "writing output");
    }
    p += put;
    left -= static_cast<std::size_t>(put);
  }
  text_.clear();
}

}  // namespace kelvo_cli
