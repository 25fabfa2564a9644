// Timestamps of records.
#pragma once

#include <chrono>
#include <string>

namespace kelvo_records {

// ISO 8601 in the host's local time, with milliseconds and the UTC offset:
// "2026-12-09T01:34:44.123+00:00".
[[nodiscard]] std::string FormatTime(std::chrono::system_clock::time_point t);

}  // namespace kelvo_records
