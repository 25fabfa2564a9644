// Runs the real kelvo-frame executable with its standard streams wired as a
// test needs them, and reports what it wrote, its exit status and peak memory.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kelvo_test {

// `text` written `times` over.
struct Piece {
  std::string text;
  std::size_t times = 1;
};

struct Run {
  std::vector<std::string> args{};
  // Standard input: written into a pipe by a child process as it is read,
  // so that no file or buffer ever holds all of it.
  std::vector<Piece> input{};
  int in_fd = -1;           // used instead of `input` when set
  int out_fd = -1;          // -1: captured into Result::out
  int err_fd = -1;          // -1: captured into Result::err
  bool err_to_out = false;  // standard error joins standard output, in order
};

struct Result {
  int status = -1;
  std::string out;
  std::string err;
  long peak_kib = 0;  // the largest resident set of kelvo-frame itself
};

[[nodiscard]] Result RunKelvoFrame(const Run& run);

}  // namespace kelvo_test
