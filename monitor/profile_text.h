// How the window writes what the profile says: a field's name in the window's
// language, the derived figures' names, values with their units.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "profile/profile_values.h"

namespace kelvo_monitor {

// The name of the field the profile reads as `field`: its title in the
// window's language, else `label` (the catalogue's); `label` when the
// profile leaves the field out (null).
[[nodiscard]] QString FieldTitle(const kelvo_profile::ProfileField* field, const QString& label);

// The name of a derived figure (current, power, ...) in the window's
// language; the key itself for one the window does not know.
[[nodiscard]] QString DerivedTitle(std::string_view key);

// `value` to `decimals` decimals.
[[nodiscard]] QString NumberText(double value, int decimals);

// `number` followed by `unit`: "52.54 V"; the number alone without a unit.
[[nodiscard]] QString WithUnit(const QString& number, const std::string& unit);

// One value as the table shows it: "52.54 V", "28 29 30 28 °C" for an array,
// the names of the set bits ("charge_switch, discharge_switch") for flags.
[[nodiscard]] QString ValueText(const kelvo_profile::ProfileValue& value, const std::string& unit);

// The smallest step between two values of a field shown to `decimals`
// decimals: 1 for whole numbers, 0.01 for two decimals.
[[nodiscard]] double Resolution(int decimals);

}  // namespace kelvo_monitor
