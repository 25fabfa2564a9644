// Buffered output to a file descriptor: many frames per system call.
#pragma once

#include <cstddef>
#include <string>

namespace kelvo_cli {

class Output {
 public:
  explicit Output(int fd, std::size_t flush_at = std::size_t{1} << 16);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // The pending text; append to it, then call Done.
  [[nodiscard]] std::string& Text() noexcept { return text_; }
  // Writes out once enough text is pending.
  void Done() {
    if (text_.size() >= flush_at_) Flush();
  }
  // Writes out everything pending. Throws std::system_error when the write fails.
  void Flush();

 private:
  int fd_;
  std::size_t flush_at_;
  std::string text_;
};

}  // namespace kelvo_cli
