#include "site/store/packed_numbers.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace kelvo_site {
namespace {

void PutDouble(std::string& out, double value) {
  auto bits = std::bit_cast<std::uint64_t>(value);
  char bytes[8];
  for (char& byte : bytes) {
    byte = static_cast<char>(bits & 0xFFu);
    bits >>= 8;
  }
  out.append(bytes, sizeof bytes);
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
  std::string out;
  out.reserve(numbers.size() * 8);
  for (double number : numbers) PutDouble(out, number);
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
  std::string out;
  out.reserve(stats.size() * kStatsBytes);
  for (const SlotStats& slot : stats) {
    PutDouble(out, slot.count);
    PutDouble(out, slot.sum);
    PutDouble(out, slot.min);
    PutDouble(out, slot.max);
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
