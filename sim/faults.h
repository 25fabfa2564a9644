// Faults a simulated unit can be told to commit, and how one answer leaves it
// once they are applied.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo_sim {

// Probabilities are 0-1, drawn per answer.
struct Faults {
  double drop = 0;           // no answer at all
  double corrupt = 0;        // the answer with a wrong check value
  double wrong_address = 0;  // the answer, well formed, from another address
  int delay_ms = 0;          // the answer this late
  bool split = false;        // the answer in 2-4 pieces with gaps of 1-20 ms
  bool noise = false;        // 1-8 stray bytes (never "<") before each answer
  bool echo = false;         // every request echoed first, as on a two-wire bus
};

// Adds one "NAME[=VALUE]" to `faults`: drop=P, corrupt=P, wrong-address=P,
// delay=MS, split, noise, echo. False with the reason in `why` for an unknown
// name, a missing or extra value, or a value out of range.
[[nodiscard]] bool ParseFault(std::string_view text, Faults& faults, std::string* why = nullptr);

// One write to the line: `bytes` after a gap of `gap_ms` from the write before
// it (or from the request).
struct Piece {
  int gap_ms = 0;
  std::string bytes;
  bool ends_answer = false;  // the last piece of the answer
};

// What the unit puts on the line for one request.
struct Delivery {
  std::vector<Piece> pieces;
  std::optional<std::string> answer;  // the answer as sent, faults included; none when silent
};

}  // namespace kelvo_sim
