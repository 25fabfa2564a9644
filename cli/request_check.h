// What send and poll refuse before anything goes on the line: a request the
// unit could only answer with silence would otherwise be blamed on the unit.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvo_cli {

// A command code as the link commands take it: one byte, 1 or 2 hex digits of
// either case ("42", "c2", "5").
[[nodiscard]] bool IsCommandByte(std::string_view command) noexcept;

// Why `payload` under `command` (a command byte) must not be sent: a frame too
// long, or, unless `force`, a payload that is not upper-case hex of even
// length or does not fit the layout of a command the codec knows. None when
// it may go.
[[nodiscard]] std::optional<std::string> RequestProblem(std::string_view command, std::string_view payload,
                                                        bool force);

// The payload a request carries when none is given: the host time for the
// status request, nothing for the others.
[[nodiscard]] std::string DefaultPayload(std::string_view command);

}  // namespace kelvo_cli
