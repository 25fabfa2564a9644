// Which step a history request is answered at. Pure functions, for the
// service to choose a step where the request gives none and to refuse one
// that would answer too many points.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "site/store/store.h"

namespace kelvo_site {

// The most points one history answer carries.
inline constexpr std::int64_t kMaxHistoryPoints = 5000;

// Where the points of a step come from: the raw answers, the one-minute or
// the one-hour aggregates.
enum class HistoryTier { Raw, Minute, Hour };

// The finest tier whose interval divides `step_s`: raw for 0 and for steps
// that are no multiple of a minute, the hour tier for multiples of an hour.
[[nodiscard]] HistoryTier TierForStep(int step_s);

// The start of the interval of `step_ms` holding `time_ms` (floor, also for
// times before 1970).
[[nodiscard]] std::int64_t IntervalStart(std::int64_t time_ms, std::int64_t step_ms);

// How many points `step_s` gives over [from_ms, to_ms]: one per interval
// that the range touches; for step 0 (raw answers) the seconds of the range,
// plus one, as units answer at most once a second.
[[nodiscard]] std::int64_t PointCount(std::int64_t from_ms, std::int64_t to_ms, int step_s);

// The step for a request without one, as of `now_ms`: raw answers (0) when
// the range lies within the raw retention and spans at most 5,000 seconds;
// else 60 when `from_ms` lies within the minute retention and the range
// touches at most 5,000 minutes; else the smallest multiple of 3600 that
// touches at most 5,000 intervals. So the answer never exceeds 5,000 points
// and never comes from a tier that has already dropped its start.
// Expects from_ms <= to_ms.
[[nodiscard]] int ChooseStep(std::int64_t from_ms, std::int64_t to_ms, std::int64_t now_ms,
                             const Retention& retention);

// Why a step a request gave cannot be answered ("step 60 gives 10080 points
// over this range, at most 5000"), or nullopt when it can. Negative steps are
// refused; 0 is the raw answers, counted as PointCount does.
[[nodiscard]] std::optional<std::string> CheckStep(std::int64_t from_ms, std::int64_t to_ms, int step_s);

}  // namespace kelvo_site
