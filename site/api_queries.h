// The query strings of /api/history, /api/events and /api/export.csv, read
// and checked; a fault is the text of a 400 answer.
#pragma once

#include <QUrlQuery>
#include <optional>
#include <string>
#include <variant>

#include "profile/profile.h"
#include "profile/value_meaning.h"
#include "site/store/store.h"

namespace kelvo_site {

struct HistoryRequest {
  HistoryQuery query;
  std::string unit;  // of the key, as the profile gives it; "" for none
  int decimals = 0;  // of its values
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
// What a stored key means: the profile's meaning, or for the gateway's energy
// counters (Wh to the thousandth) their own; none for a key never stored.
[[nodiscard]] std::optional<kelvo_profile::ValueMeaning> KeyMeaning(const kelvo_profile::Profile& profile,
                                                                    const std::string& key);

// Without a step, the store's choice for the range as of `now_ms`
// (history_step.h); a step that would give too many points is refused.
[[nodiscard]] Parsed<HistoryRequest> ParseHistoryRequest(const QUrlQuery& q,
                                                         const kelvo_profile::Profile& profile,
                                                         std::int64_t now_ms, const Retention& retention);
[[nodiscard]] Parsed<EventsRequest> ParseEventsRequest(const QUrlQuery& q);
[[nodiscard]] Parsed<ExportRequest> ParseExportRequest(const QUrlQuery& q);

}  // namespace kelvo_site
