// Buffered output to a file descriptor: many frames per system call.
#pragma once

#include <cstddef>
#include <string>

namespace kelvo_cli {

class Output {
 public:
  // Messages are best effort: when they cannot be written, the results
  // must still be. Keep remembers the failure for error(), for writers on an
  // event loop, where nothing may throw.
  enum class OnError { Throw, Ignore, Keep };

  explicit Output(int fd, std::size_t flush_at = std::size_t{1} << 16, OnError on_error = OnError::Throw);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // The pending text; append to it, then call Done.
  [[nodiscard]] std::string& Text() noexcept { return text_; }
  // Writes out once enough text is pending.
  void Done() {
    if (text_.size() >= flush_at_) Flush();
  }
  // Writes out everything pending. With OnError::Throw, throws
  // std::system_error when the write fails; the pending text is gone either way.
  void Flush();
  // As Flush, but never throws: for the way out after another failure.
  void FlushQuietly() noexcept;
  // errno of the first write that failed with OnError::Keep; 0 while none has.
  [[nodiscard]] int error() const noexcept { return error_; }

 private:
  // errno of the failed write, or 0.
  int Write() noexcept;

  int fd_;
  std::size_t flush_at_;
  OnError on_error_;
  int error_ = 0;
  std::string text_;
};

}  // namespace kelvo_cli
