// Times as the site's messages and its API write them: ISO 8601 with the UTC
// offset, "2026-12-09T14:10:02.511+00:00".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo_site {

// Milliseconds since the epoch of an ISO 8601 date and time with an offset
// ("+01:00", "Z"), with or without fractions of a second; none for anything
// else, a time without an offset included (whose zone nobody knows).
[[nodiscard]] std::optional<std::int64_t> ParseIsoTime(std::string_view text);

// `ms` as the records write times.
[[nodiscard]] std::string FormatIsoTime(std::int64_t ms);

}  // namespace kelvo_site
