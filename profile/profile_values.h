// A profile applied to one decoded frame: the values of its payload fields in
// the profile's units, and the figures derived from them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/frame_breakdown.h"
#include "profile/profile.h"

namespace kelvo_profile {

enum class ValueKind { Number, Numbers, Flags };

// One entry of the values: `key` is a profile key, KEY_flags or a derived key,
// and lives as long as the profile. Numbers are rounded to `decimals`.
struct ProfileValue {
  std::string_view key;
  ValueKind kind = ValueKind::Number;
  double number = 0;                    // Number
  std::vector<double> numbers;          // Numbers: an array field's elements
  std::vector<std::string_view> flags;  // Flags: the names of the bits that are set, lowest first
  int decimals = 0;
};

// The derived keys, computed from the values whenever their inputs are there
// (and left to the profile where it gives a field that key itself).
inline constexpr std::string_view kDerivedKeys[] = {"current",       "power",           "cell_min",
                                                    "cell_max",      "cell_spread",     "cell_min_cell",
                                                    "cell_max_cell", "temperature_min", "temperature_max"};

// Payload fields in frame order, each followed by its KEY_flags, then the
// derived values. A field whose text is not a complete number is left out.
// None when the frame has no payload layout (a command the codec does not
// know). Throws only std::bad_alloc.
[[nodiscard]] std::optional<std::vector<ProfileValue>> ApplyProfile(const Profile& profile,
                                                                    const codec::FrameItems& items);

// The entry with `key`, or null.
[[nodiscard]] const ProfileValue* FindValue(std::span<const ProfileValue> values,
                                            std::string_view key) noexcept;

// `raw` in the field's unit: raw * scale + offset, rounded to its decimals.
[[nodiscard]] double ScaledValue(const ProfileField& field, double raw) noexcept;

}  // namespace kelvo_profile
