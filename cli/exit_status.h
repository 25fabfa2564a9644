// kelvo-frame's exit statuses, the same for every command.
#pragma once

namespace kelvo_cli {

inline constexpr int kSuccess = 0;
// A frame that failed to decode or check, or a request left without a valid answer.
inline constexpr int kFailed = 1;
inline constexpr int kNoAnswer = kFailed;
inline constexpr int kUsageError = 2;
// The port could not be opened at the start, or the link failed.
inline constexpr int kLinkFailure = 3;
// A command on a port could not write its results to standard output.
inline constexpr int kOutputFailure = 4;
// Stopped by a signal before it was done: this plus the signal's number.
inline constexpr int kInterrupted = 128;

}  // namespace kelvo_cli
