// Which frame seen on the line answers the request in flight: the answer
// rules, stated once for every user of the link.
#pragma once

#include <QString>
#include <string_view>

namespace kelvo_link {

enum class AnswerVerdict {
  Accepted,      // well formed, the request's address, the request's command with bit 7 set
  Echo,          // byte for byte the request itself (two-wire adapters hear what they send)
  Malformed,     // the codec's validation found something (a bad check value, a wrong length...)
  WrongAddress,  // well formed, another unit's address (or no request to answer)
  WrongCommand,  // well formed, the right address, another command
  Overlong,      // longer than any frame the length field can state
};

// The verdict on `frame` ("<...>") as an answer to `request` (the frame
// written). With an empty request nothing can be accepted: a well-formed frame
// is WrongAddress. Never throws but std::bad_alloc.
[[nodiscard]] AnswerVerdict JudgeAnswer(std::string_view request, std::string_view frame);

// A few words for the verdict: "accepted", "echo", "malformed", ...
[[nodiscard]] QString VerdictText(AnswerVerdict verdict);

// Why `frame` was not taken as the answer, for a user: "bad check value",
// "answer from address 5", "wrong command 43", "echo of the request". Empty
// for Accepted.
[[nodiscard]] QString RejectionText(std::string_view request, std::string_view frame, AnswerVerdict verdict);

}  // namespace kelvo_link
