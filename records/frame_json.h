// A frame's items as JSON, shared by every command and sink that prints them.
#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

#include "codec/frame_breakdown.h"

namespace kelvo_records {

// One item as JSON: its "value" and "label" (UTF-8), then "number" (a numeric
// field), "numbers" (an array field's elements) or "text" (a field of
// printable characters) where the codec reads one. Throws only std::bad_alloc
// (and std::runtime_error when the system has no GBK converter).
[[nodiscard]] nlohmann::ordered_json JsonItem(const codec::FrameItem& item);

// The `items` array of `frame`, in the codec's order, each as JsonItem gives
// it. Empty when the frame cannot be cut into items. Throws as JsonItem does.
[[nodiscard]] nlohmann::ordered_json JsonItems(std::string_view frame);

}  // namespace kelvo_records
