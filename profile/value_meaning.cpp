#include "profile/value_meaning.h"

#include <algorithm>
#include <array>

namespace kelvo_profile {
namespace {

struct DerivedMeaning {
  std::string_view key;
  std::string_view source;  // the field whose unit and class it takes; empty: none
  std::string_view device_class;
  std::string_view title_en;
  std::string_view title_zh;
};

constexpr std::array<DerivedMeaning, 9> kDerived = {{
    {"current", "charge_current", "current", "Current", "电流"},
    {"power", "", "power", "Power", "功率"},
    {"cell_min", "cell_voltages", "voltage", "Lowest cell", "最低单体电压"},
    {"cell_max", "cell_voltages", "voltage", "Highest cell", "最高单体电压"},
    {"cell_spread", "cell_voltages", "voltage", "Cell spread", "单体压差"},
    {"cell_min_cell", "", "", "Lowest cell number", "最低单体编号"},
    {"cell_max_cell", "", "", "Highest cell number", "最高单体编号"},
    {"temperature_min", "temperatures", "temperature", "Lowest temperature", "最低温度"},
    {"temperature_max", "temperatures", "temperature", "Highest temperature", "最高温度"},
}};

}  // namespace

std::optional<ValueMeaning> MeaningOf(const Profile& profile, std::string_view key) {
  if (const ProfileField* field = profile.FieldForKey(key)) {
    return ValueMeaning{field->unit,  field->device_class, field->state_class, field->decimals,
                        field->array, field->title_en,     field->title_zh};
  }
  const auto derived =
      std::find_if(kDerived.begin(), kDerived.end(), [key](const DerivedMeaning& d) { return d.key == key; });
  if (derived == kDerived.end()) return std::nullopt;
  ValueMeaning meaning;
  meaning.title_en = derived->title_en;
  meaning.title_zh = derived->title_zh;
  meaning.state_class = "measurement";
  if (derived->key == "power") {
    const ProfileField* volts = profile.FieldForKey("total_voltage");
    const ProfileField* amperes = profile.FieldForKey("charge_current");
    if (volts == nullptr || amperes == nullptr) return std::nullopt;
    if (volts->unit == "V" && amperes->unit == "A") {
      meaning.unit = "W";
      meaning.device_class = "power";
    } else if (volts->unit.empty() || amperes->unit.empty()) {
      meaning.unit = volts->unit + amperes->unit;
    } else {
      meaning.unit = volts->unit + "\u00b7" + amperes->unit;
    }
    meaning.decimals = volts->decimals + amperes->decimals;
    return meaning;
  }
  if (derived->source.empty()) {  // a cell number
    if (profile.FieldForKey("cell_voltages") == nullptr) return std::nullopt;
    return meaning;
  }
  const ProfileField* source = profile.FieldForKey(derived->source);
  if (source == nullptr) return std::nullopt;
  meaning.unit = source->unit;
  meaning.device_class = source->device_class.empty() ? "" : std::string(derived->device_class);
  meaning.decimals = source->decimals;
  return meaning;
}

}  // namespace kelvo_profile
