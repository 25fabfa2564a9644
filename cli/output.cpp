#include "cli/output.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kelvo_cli {

Output::Output(int fd, std::size_t flush_at, OnError on_error)
    : fd_(fd), flush_at_(flush_at), on_error_(on_error) {
  text_.reserve(flush_at + 4096);
}

int Output::Write() noexcept {
  const char* p = text_.data();
  std::size_t left = text_.size();
  int error = 0;
  while (left > 0) {
    const ssize_t put = ::write(fd_, p, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    p += put;
    left -= static_cast<std::size_t>(put);
  }
  text_.clear();
  return error;
}

void Output::Flush() {
  const int error = Write();
  if (error == 0) return;
  if (on_error_ == OnError::Throw) throw std::system_error(error, std::generic_category(), "writing output");
  if (on_error_ == OnError::Keep && error_ == 0) error_ = error;
}

void Output::FlushQuietly() noexcept {
  (void)Write();
}

}  // namespace kelvo_cli
