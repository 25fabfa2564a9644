// Reads a file descriptor in pieces through one fixed buffer.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace kelvo_cli {

class InputReader {
 public:
  explicit InputReader(int fd, std::size_t capacity = std::size_t{1} << 18);

  // Called before a read that would wait for input (a terminal, a live pipe),
  // so that whatever was made of the input so far is seen first.
  void SetBeforeWait(std::function<void()> before_wait) { before_wait_ = std::move(before_wait); }

  // The next piece of the input, valid until the next call; empty at its end.
  // Throws std::system_error when a read fails.
  [[nodiscard]] std::string_view Next();

 private:
  int fd_;
  std::vector<char> buffer_;
  std::function<void()> before_wait_;
};

}  // namespace kelvo_cli
