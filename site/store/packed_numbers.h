// How an answer's numbers and a tier's aggregates are laid out in the store:
// one row per answer (or per unit and interval) with its numbers packed, against
// a layout of slots stored once. Shared by both engines so that they store and
// answer byte for byte the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "site/store/store.h"

namespace kelvo_site {

// An answer's numbers as little-endian IEEE doubles, 8 bytes each, NaN for null.
[[nodiscard]] std::string PackNumbers(const std::vector<double>& numbers);

// The number at `index` of a packed answer; NaN past its end.
[[nodiscard]] double PackedNumber(std::span<const std::uint8_t> packed, std::size_t index);

[[nodiscard]] std::vector<double> UnpackNumbers(std::span<const std::uint8_t> packed);

// The aggregate of one slot over an interval: NaN numbers are not counted.
struct SlotStats {
  double count = 0;
  double sum = 0;
  double min = 0;
  double max = 0;

  void Add(double value);
  void Merge(const SlotStats& other);
};

// Per slot: count, sum, min, max as little-endian doubles, 32 bytes a slot.
inline constexpr std::size_t kStatsBytes = 32;

[[nodiscard]] std::string PackStats(const std::vector<SlotStats>& stats);
[[nodiscard]] std::vector<SlotStats> UnpackStats(std::span<const std::uint8_t> packed);

// The aggregate of slot `index` of a packed row; count 0 past its end.
[[nodiscard]] SlotStats PackedStats(std::span<const std::uint8_t> packed, std::size_t index);

// A layout as text, one "key<TAB>element" line per slot; the text is the
// layout's identity in the store.
[[nodiscard]] std::string EncodeLayout(const std::vector<Slot>& slots);

// The slots of a stored layout; nullopt for text no EncodeLayout made.
[[nodiscard]] std::optional<std::vector<Slot>> DecodeLayout(const std::string& text);

}  // namespace kelvo_site
