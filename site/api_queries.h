// The query strings of /api/history, /api/events and /api/export.csv, read
// and checked; a fault is the text of a 400 answer.
#pragma once

#include <QUrlQuery>
#include <optional>
#include <string>
#include <variant>

#include "profile/profile.h"
#include "site/store/store.h"

namespace kelvo_site {

// Most points /api/history answers with when no step is given.
inline constexpr std::int64_t kMostPoints = 5000;

struct HistoryRequest {
  HistoryQuery query;
  std::string unit;  // of the key, as the profile gives it; "" for none
};

struct TimeRange {
  std::int64_t from_ms = 0;
  std::int64_t to_ms = 0;
};

struct EventsRequest {
  TimeRange range;
  std::optional<std::string> prefix;
  std::optional<std::string> bus;
  std::optional<int> address;
};

struct ExportRequest {
  UnitId unit;
  TimeRange range;
};

template <typename T>
using Parsed = std::variant<T, std::string>;  // the request, or why not

// A key's unit as the API names it: the profile's, Wh for the energy counters;
// none for a key the values never hold.
[[nodiscard]] std::optional<std::string> KeyUnit(const kelvo_profile::Profile& profile,
                                                 const std::string& key);

// The step for a range without one: the finest tier within kMostPoints
// points (0 for raw answers), past the hour tier a multiple of an hour.
[[nodiscard]] int ChooseStep(std::int64_t from_ms, std::int64_t to_ms);

[[nodiscard]] Parsed<HistoryRequest> ParseHistoryRequest(const QUrlQuery& q,
                                                         const kelvo_profile::Profile& profile);
[[nodiscard]] Parsed<EventsRequest> ParseEventsRequest(const QUrlQuery& q);
[[nodiscard]] Parsed<ExportRequest> ParseExportRequest(const QUrlQuery& q);

}  // namespace kelvo_site
