#include "records/frame_json.h"

#include "codec/field_numbers.h"
#include "codec/frame_breakdown.h"
#include "records/utf8.h"
#include "text/gbk_text.h"

namespace kelvo_records {

namespace {

kelvo_text::GbkToUtf8& Converter() {
  // The converter's tables are large: one per thread, on the heap.
  thread_local auto converter = std::make_unique<kelvo_text::GbkToUtf8>();
  return *converter;
}

}  // namespace

void AppendUtf8(std::string_view gbk, std::string& out) {
  Converter().Append(gbk, out);
}

void AppendLastingUtf8(std::string_view gbk, std::string& out) {
  Converter().AppendLasting(gbk, out);
}

std::string Utf8(std::string_view gbk) {
  std::string out;
  AppendUtf8(gbk, out);
  return out;
}

nlohmann::ordered_json JsonItem(const codec::FrameItem& item) {
  nlohmann::ordered_json object{{"value", Utf8(item.value)}, {"label", Utf8(item.label)}};
  codec::ItemNumbers numbers = codec::ReadItemNumbers(item);
  if (numbers.number) object["number"] = *numbers.number;
  // An empty array is complete; a non-empty one without numbers is not hex.
  if (numbers.is_array && (!numbers.numbers.empty() || item.value.empty())) {
    object["numbers"] = std::move(numbers.numbers);
  }
  if (numbers.text) object["text"] = std::move(*numbers.text);
  return object;
}

nlohmann::ordered_json JsonItems(std::string_view frame) {
  nlohmann::ordered_json items = nlohmann::ordered_json::array();
  codec::FrameItems breakdown;
  try {
    breakdown = codec::BreakDownFrame(frame);
  } catch (const codec::InvalidArgumentError&) {
    return items;
  }
  for (const codec::FrameItem& item : breakdown) items.push_back(JsonItem(item));
  return items;
}

}  // namespace kelvo_records
