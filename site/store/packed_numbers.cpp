#include "site/store/packed_numbers.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace kelvo_site {
namespace {

// Writes at `at`, which has room for 8 bytes.
void PutDouble(char* at, double value) {
  auto bits = std::bit_cast<std::uint64_t>(value);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &bits, sizeof bits);
  } else {
    for (int i = 0; i < 8; ++i, bits >>= 8) at[i] = static_cast<char>(bits & 0xFFu);
  }
}

double GetDouble(const std::uint8_t* at) {
  std::uint64_t bits = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&bits, at, sizeof bits);
  } else {
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | at[i];
  }
  return std::bit_cast<double>(bits);
}

}  // namespace

std::string PackNumbers(const std::vector<double>& numbers) {
  std::string out(numbers.size() * 8, '\0');
  for (std::size_t i = 0; i < numbers.size(); ++i) PutDouble(out.data() + i * 8, numbers[i]);
  return out;
}

double PackedNumber(std::span<const std::uint8_t> packed, std::size_t index) {
  if (index >= packed.size() / 8) return std::nan("");
  return GetDouble(packed.data() + index * 8);
}

std::vector<double> UnpackNumbers(std::span<const std::uint8_t> packed) {
  std::vector<double> numbers(packed.size() / 8);
  for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = GetDouble(packed.data() + i * 8);
  return numbers;
}

void SlotStats::Add(double value) {
  if (std::isnan(value)) return;
  if (count == 0) {
    min = max = value;
  } else {
    min = std::fmin(min, value);
    max = std::fmax(max, value);
  }
  count += 1;
  sum += value;
}

void SlotStats::Merge(const SlotStats& other) {
  if (other.count == 0) return;
  if (count == 0) {
    *this = other;
    return;
  }
  count += other.count;
  sum += other.sum;
  min = std::fmin(min, other.min);
  max = std::fmax(max, other.max);
}

std::string PackStats(const std::vector<SlotStats>& stats) {
  std::string out(stats.size() * kStatsBytes, '\0');
  char* at = out.data();
  for (const SlotStats& slot : stats) {
    PutDouble(at, slot.count);
    PutDouble(at + 8, slot.sum);
    PutDouble(at + 16, slot.min);
    PutDouble(at + 24, slot.max);
    at += kStatsBytes;
  }
  return out;
}

SlotStats PackedStats(std::span<const std::uint8_t> packed, std::size_t index) {
  if (index >= packed.size() / kStatsBytes) return {};
  const std::uint8_t* at = packed.data() + index * kStatsBytes;
  return {GetDouble(at), GetDouble(at + 8), GetDouble(at + 16), GetDouble(at + 24)};
}

std::vector<SlotStats> UnpackStats(std::span<const std::uint8_t> packed) {
  std::vector<SlotStats> stats(packed.size() / kStatsBytes);
  for (std::size_t i = 0; i < stats.size(); ++i) stats[i] = PackedStats(packed, i);
  return stats;
}

std::string EncodeLayout(const std::vector<Slot>& slots) {
  std::string text;
  for (const Slot& slot : slots) {
    text += slot.key;
    text += '\t';
    text += std::to_string(slot.element);
    text += '\n';
  }
  return text;
}

std::optional<std::vector<Slot>> DecodeLayout(const std::string& text) {
  std::vector<Slot> slots;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t tab = text.find('\t', at);
    const std::size_t end = text.find('\n', at);
    if (tab == std::string::npos || end == std::string::npos || tab > end) return std::nullopt;
    Slot slot{text.substr(at, tab - at), 0};
    const auto [ptr, ec] = std::from_chars(text.data() + tab + 1, text.data() + end, slot.element);
    if (ec != std::errc() || ptr != text.data() + end) return std::nullopt;
    slots.push_back(std::move(slot));
    at = end + 1;
  }
  return slots;
}

}  // namespace kelvo_site
