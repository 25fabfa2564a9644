// A gateway's status message taken apart for the store: its own time, its
// `values` object as it came, and the numbers in it, one per slot.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "site/store/store.h"

namespace kelvo_site {

// Status messages longer than this are refused: no gateway writes one.
inline constexpr std::size_t kMaxStatusBytes = 256 * 1024;

struct FlatValues {
  std::vector<Slot> slots;      // in the object's order, an array's elements 1-based
  std::vector<double> numbers;  // NaN for null
};

struct StatusValues {
  std::int64_t time_ms = 0;
  std::string values_json = "{}";  // the `values` object, energy counters included
  FlatValues flat;
};

// The numbers of a `values` object: numbers and nulls, and the elements of
// arrays of them; KEY_flags arrays (names, not numbers), strings and objects
// are left out.
[[nodiscard]] FlatValues FlattenValues(std::string_view values_json);

// The status message `payload`, or none with the reason in `why`: not JSON, no
// ISO `time` with an offset, `values` not an object, or too long. Energy
// counters written beside `values` are taken into it.
[[nodiscard]] std::optional<StatusValues> ParseStatus(std::string_view payload, std::string* why);

}  // namespace kelvo_site
