// A profile's values of one frame as the "values" object of a JSON record.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "codec/frame_breakdown.h"
#include "profile/profile.h"

namespace kelvo_records {

// Profile keys and derived keys to numbers (whole numbers where a key has no
// decimals), arrays of numbers for array fields, KEY_flags to the names of
// the bits that are set. None when the frame has no payload layout or the
// profile reads none of its fields. Throws only std::bad_alloc.
[[nodiscard]] std::optional<nlohmann::ordered_json> JsonValues(const kelvo_profile::Profile& profile,
                                                               const codec::FrameItems& items);

// As above for a frame's text; none also when it cannot be cut into items.
[[nodiscard]] std::optional<nlohmann::ordered_json> JsonValues(const kelvo_profile::Profile& profile,
                                                               std::string_view frame);

}  // namespace kelvo_records
