#include "gateway/bank_figures.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace kelvo_gateway {
namespace {

using Json = nlohmann::ordered_json;
using kelvo_profile::ProfileValue;
using kelvo_profile::ValueKind;

// Weighted charge: one decimal is finer than any unit reports its own.
constexpr int kSocDecimals = 1;

double Rounded(double value, int decimals) {
  const double shift = std::pow(10.0, decimals);
  const double rounded = std::round(value * shift) / shift;
  return rounded == 0 ? 0.0 : rounded;
}

Json Number(const Figure& f) {
  if (f.decimals == 0) return std::llround(f.value);
  return Rounded(f.value, f.decimals);
}

std::optional<Figure> NumberOf(std::span<const ProfileValue> values, std::string_view key) {
  const ProfileValue* v = kelvo_profile::FindValue(values, key);
  if (v == nullptr || v->kind != ValueKind::Number) return std::nullopt;
  return Figure{v->number, v->decimals};
}

// The first lowest (or highest) element of an array key.
std::optional<Extreme> ExtremeOf(std::span<const ProfileValue> values, std::string_view key, bool lowest) {
  const ProfileValue* v = kelvo_profile::FindValue(values, key);
  if (v == nullptr || v->kind != ValueKind::Numbers || v->numbers.empty()) return std::nullopt;
  const auto at = lowest ? std::min_element(v->numbers.begin(), v->numbers.end())
                         : std::max_element(v->numbers.begin(), v->numbers.end());
  return Extreme{{*at, v->decimals}, static_cast<int>(at - v->numbers.begin()) + 1};
}

// Sums one figure over the fresh units that give it; none when none does.
std::optional<Figure> Sum(std::span<const BankMember> fresh, std::optional<Figure> BankInputs::*figure) {
  std::optional<Figure> sum;
  for (const BankMember& m : fresh) {
    const std::optional<Figure>& f = m.inputs->*figure;
    if (!f) continue;
    if (!sum) sum = Figure{0, 0};
    sum->value += f->value;
    sum->decimals = std::max(sum->decimals, f->decimals);
  }
  return sum;
}

Json Worst(std::span<const BankMember> fresh, std::optional<Extreme> BankInputs::*extreme, bool lowest,
           const char* element_name) {
  const BankMember* worst = nullptr;
  for (const BankMember& m : fresh) {
    const std::optional<Extreme>& e = m.inputs->*extreme;
    if (!e) continue;
    const double best_so_far = worst != nullptr ? (worst->inputs->*extreme)->reading.value : 0;
    if (worst == nullptr || (lowest ? e->reading.value < best_so_far : e->reading.value > best_so_far))
      worst = &m;
  }
  if (worst == nullptr) return nullptr;
  const Extreme& e = *(worst->inputs->*extreme);
  return Json{{"value", Number(e.reading)},
              {"bus", worst->key->bus},
              {"address", worst->key->address},
              {element_name, e.element}};
}

Json OrNull(const std::optional<Figure>& f) {
  return f ? Number(*f) : Json(nullptr);
}

}  // namespace

BankInputs BankInputsOf(std::span<const ProfileValue> values) {
  return {NumberOf(values, "soc"),
          NumberOf(values, "remaining_capacity"),
          NumberOf(values, "full_capacity"),
          NumberOf(values, "current"),
          NumberOf(values, "power"),
          ExtremeOf(values, "cell_voltages", true),
          ExtremeOf(values, "cell_voltages", false),
          ExtremeOf(values, "temperatures", true),
          ExtremeOf(values, "temperatures", false)};
}

Json BankJson(const std::string& time, std::span<const BankMember> members) {
  std::vector<BankMember> fresh;
  for (const BankMember& m : members) {
    if (m.fresh && m.inputs != nullptr) fresh.push_back(m);
  }
  // Charge weighted by capacity, over the units that give both.
  double remaining = 0;
  double full = 0;
  for (const BankMember& m : fresh) {
    if (m.inputs->remaining_capacity && m.inputs->full_capacity) {
      remaining += m.inputs->remaining_capacity->value;
      full += m.inputs->full_capacity->value;
    }
  }
  const Json soc = full > 0 ? Json(Rounded(100 * remaining / full, kSocDecimals)) : Json(nullptr);
  return Json{{"time", time},
              {"units", members.size()},
              {"fresh", fresh.size()},
              {"soc", soc},
              {"remaining_capacity", OrNull(Sum(fresh, &BankInputs::remaining_capacity))},
              {"full_capacity", OrNull(Sum(fresh, &BankInputs::full_capacity))},
              {"current", OrNull(Sum(fresh, &BankInputs::current))},
              {"power", OrNull(Sum(fresh, &BankInputs::power))},
              {"cell_min", Worst(fresh, &BankInputs::cell_min, true, "cell")},
              {"cell_max", Worst(fresh, &BankInputs::cell_max, false, "cell")},
              {"temperature_min", Worst(fresh, &BankInputs::temperature_min, true, "sensor")},
              {"temperature_max", Worst(fresh, &BankInputs::temperature_max, false, "sensor")}};
}

}  // namespace kelvo_gateway
