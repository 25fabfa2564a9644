// What a value key means under a profile: its unit, classes and display
// names, for a field the profile gives and for the figures derived from them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "profile/profile.h"

namespace kelvo_profile {

struct ValueMeaning {
  std::string unit;  // empty: none
  std::string device_class;
  std::string state_class;
  int decimals = 0;
  bool array = false;  // one value per cell or sensor
  std::string title_en;
  std::string title_zh;
};

// The meaning of `key`: a profile field's own (its KEY_flags have none); a
// derived figure's unit and class from the fields it is made of (current in
// the charge current's unit, power in W for V and A, else the two units
// joined by "·", the cell and temperature figures in their array's unit,
// cell numbers without one). None for a key that values under `profile`
// never hold.
[[nodiscard]] std::optional<ValueMeaning> MeaningOf(const Profile& profile, std::string_view key);

// The unit of `key` as MeaningOf gives it; empty for none.
[[nodiscard]] inline std::string ValueUnit(const Profile& profile, std::string_view key) {
  std::optional<ValueMeaning> meaning = MeaningOf(profile, key);
  return meaning ? std::move(meaning->unit) : std::string();
}

}  // namespace kelvo_profile
