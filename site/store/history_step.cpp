#include "site/store/history_step.h"

#include <algorithm>

namespace kelvo_site {
namespace {

constexpr std::int64_t kMinuteMs = 60'000;
constexpr std::int64_t kHourMs = 3'600'000;

std::int64_t Intervals(std::int64_t from_ms, std::int64_t to_ms, std::int64_t step_ms) {
  return (IntervalStart(to_ms, step_ms) - IntervalStart(from_ms, step_ms)) / step_ms + 1;
}

}  // namespace

HistoryTier TierForStep(int step_s) {
  if (step_s > 0 && step_s % 3600 == 0) return HistoryTier::Hour;
  if (step_s > 0 && step_s % 60 == 0) return HistoryTier::Minute;
  return HistoryTier::Raw;
}

std::int64_t IntervalStart(std::int64_t time_ms, std::int64_t step_ms) {
  std::int64_t start = time_ms - time_ms % step_ms;
  if (start > time_ms) start -= step_ms;
  return start;
}

std::int64_t PointCount(std::int64_t from_ms, std::int64_t to_ms, int step_s) {
  if (to_ms < from_ms) return 0;
  if (step_s <= 0) return (to_ms - from_ms) / 1000 + 1;
  return Intervals(from_ms, to_ms, std::int64_t{step_s} * 1000);
}

int ChooseStep(std::int64_t from_ms, std::int64_t to_ms, std::int64_t now_ms, const Retention& retention) {
  const std::int64_t raw_since = now_ms - std::int64_t{retention.raw_hours} * kHourMs;
  if (from_ms >= raw_since && PointCount(from_ms, to_ms, 0) <= kMaxHistoryPoints) return 0;
  const std::int64_t minute_since = now_ms - std::int64_t{retention.minute_days} * 24 * kHourMs;
  if (from_ms >= minute_since && Intervals(from_ms, to_ms, kMinuteMs) <= kMaxHistoryPoints) return 60;
  // Fewer hours than span / 5000 touch more than 5,000 intervals: start there.
  std::int64_t hours = std::max<std::int64_t>(1, (to_ms - from_ms) / (kHourMs * kMaxHistoryPoints));
  constexpr std::int64_t kMostHours = 2'147'483'647 / 3600;
  while (hours < kMostHours && Intervals(from_ms, to_ms, hours * kHourMs) > kMaxHistoryPoints) ++hours;
  return static_cast<int>(std::min(hours, kMostHours) * 3600);
}

std::optional<std::string> CheckStep(std::int64_t from_ms, std::int64_t to_ms, int step_s) {
  if (step_s < 0) return "step " + std::to_string(step_s) + " is negative";
  const std::int64_t points = PointCount(from_ms, to_ms, step_s);
  if (points <= kMaxHistoryPoints) return std::nullopt;
  return "step " + std::to_string(step_s) + " gives " + std::to_string(points) +
         " points over this range, at most " + std::to_string(kMaxHistoryPoints);
}

}  // namespace kelvo_site
