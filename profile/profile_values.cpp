#include "profile/profile_values.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "codec/field_numbers.h"

namespace kelvo_profile {
namespace {

constexpr int kMostDecimals = 9;

double Rounded(double value, int decimals) {
  const double shift = std::pow(10.0, decimals);
  const double rounded = std::round(value * shift) / shift;
  return rounded == 0 ? 0.0 : rounded;  // never "-0"
}

const ProfileValue* Number(std::span<const ProfileValue> values, std::string_view key) {
  const ProfileValue* value = FindValue(values, key);
  return value != nullptr && value->kind == ValueKind::Number ? value : nullptr;
}

const ProfileValue* Numbers(std::span<const ProfileValue> values, std::string_view key) {
  const ProfileValue* value = FindValue(values, key);
  return value != nullptr && value->kind == ValueKind::Numbers && !value->numbers.empty() ? value : nullptr;
}

// Adds a derived figure unless the profile gives that key itself.
void AddDerived(const Profile& profile, std::vector<ProfileValue>& values, std::string_view key,
                double number, int decimals) {
  if (profile.FieldForKey(key) != nullptr) return;
  decimals = std::min(decimals, kMostDecimals);
  values.push_back({key, ValueKind::Number, Rounded(number, decimals), {}, {}, decimals});
}

void AddDerivedValues(const Profile& profile, std::vector<ProfileValue>& values) {
  const ProfileValue* charge = Number(values, "charge_current");
  const ProfileValue* discharge = Number(values, "discharge_current");
  if (charge != nullptr && discharge != nullptr) {
    AddDerived(profile, values, "current", charge->number - discharge->number,
               std::max(charge->decimals, discharge->decimals));
  }
  // Found again: the push above may have moved the entries.
  const ProfileValue* voltage = Number(values, "total_voltage");
  const ProfileValue* current = Number(values, "current");
  if (voltage != nullptr && current != nullptr) {
    AddDerived(profile, values, "power", voltage->number * current->number,
               voltage->decimals + current->decimals);
  }
  if (const ProfileValue* cells = Numbers(values, "cell_voltages")) {
    // The first cell of the lowest and of the highest reading alike.
    const auto low = std::min_element(cells->numbers.begin(), cells->numbers.end());
    const auto high = std::max_element(cells->numbers.begin(), cells->numbers.end());
    const double min = *low;
    const double max = *high;
    const int decimals = cells->decimals;
    const auto min_cell = static_cast<double>(low - cells->numbers.begin() + 1);
    const auto max_cell = static_cast<double>(high - cells->numbers.begin() + 1);
    AddDerived(profile, values, "cell_min", min, decimals);
    AddDerived(profile, values, "cell_max", max, decimals);
    AddDerived(profile, values, "cell_spread", max - min, decimals);
    AddDerived(profile, values, "cell_min_cell", min_cell, 0);
    AddDerived(profile, values, "cell_max_cell", max_cell, 0);
  }
  if (const ProfileValue* temperatures = Numbers(values, "temperatures")) {
    const auto low = std::min_element(temperatures->numbers.begin(), temperatures->numbers.end());
    const auto high = std::max_element(temperatures->numbers.begin(), temperatures->numbers.end());
    const double min = *low;
    const double max = *high;
    const int decimals = temperatures->decimals;
    AddDerived(profile, values, "temperature_min", min, decimals);
    AddDerived(profile, values, "temperature_max", max, decimals);
  }
}

}  // namespace

double ScaledValue(const ProfileField& field, double raw) noexcept {
  return Rounded(raw * field.scale + field.offset, field.decimals);
}

const ProfileValue* FindValue(std::span<const ProfileValue> values, std::string_view key) noexcept {
  for (const ProfileValue& value : values) {
    if (value.key == key) return &value;
  }
  return nullptr;
}

std::optional<std::vector<ProfileValue>> ApplyProfile(const Profile& profile,
                                                      const codec::FrameItems& items) {
  const bool has_layout = std::any_of(items.begin(), items.end(), [](const codec::FrameItem& item) {
    return item.role == codec::ItemRole::PayloadField;
  });
  if (!has_layout) return std::nullopt;
  std::vector<ProfileValue> values;
  values.reserve(profile.fields().size() + std::size(kDerivedKeys));
  for (const codec::FrameItem& item : items) {
    if (item.role != codec::ItemRole::PayloadField) continue;
    const ProfileField* field = profile.FieldForLabel(item.label);
    if (field == nullptr) continue;
    const codec::ItemNumbers numbers = codec::ReadItemNumbers(item);
    if (numbers.is_array) {
      // An empty array is complete; a non-empty text without numbers is not hex.
      if (numbers.numbers.empty() && !item.value.empty()) continue;
      ProfileValue value{field->key, ValueKind::Numbers, 0, {}, {}, field->decimals};
      value.numbers.reserve(numbers.numbers.size());
      for (const std::uint32_t raw : numbers.numbers) {
        value.numbers.push_back(ScaledValue(*field, static_cast<double>(raw)));
      }
      values.push_back(std::move(value));
      continue;
    }
    if (!numbers.number) continue;
    values.push_back({field->key,
                      ValueKind::Number,
                      ScaledValue(*field, static_cast<double>(*numbers.number)),
                      {},
                      {},
                      field->decimals});
    if (field->bits.empty()) continue;
    ProfileValue flags{field->flags_key, ValueKind::Flags, 0, {}, {}, 0};
    for (const BitName& bit : field->bits) {
      if ((*numbers.number >> bit.bit) & 1U) flags.flags.push_back(bit.name);
    }
    values.push_back(std::move(flags));
  }
  AddDerivedValues(profile, values);
  return values;
}

}  // namespace kelvo_profile
