#include "records/record_writer.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "codec/field_numbers.h"
#include "codec/frame_breakdown.h"
#include "profile/profile_values.h"
#include "records/frame_json.h"
#include "records/profile_json.h"
#include "records/record_time.h"
#include "records/utf8.h"

namespace kelvo_records {
namespace {

using kelvo_profile::Profile;
using kelvo_profile::ProfileField;

// The payload fields of an answer, each with what the codec reads of it and
// the profile's field that reads it (null without one).
struct PayloadField {
  std::string_view value;
  std::string_view label;  // GBK
  codec::ItemNumbers numbers;
  const ProfileField* profiled = nullptr;
};

std::vector<PayloadField> PayloadFields(std::string_view frame, const Profile* profile) {
  std::vector<PayloadField> fields;
  try {
    for (const codec::FrameItem& item : codec::BreakDownFrame(frame)) {
      if (item.role == codec::ItemRole::PayloadField) {
        fields.push_back({item.value, item.label, codec::ReadItemNumbers(item),
                          profile != nullptr ? profile->FieldForLabel(item.label) : nullptr});
      }
    }
  } catch (const codec::InvalidArgumentError&) {
    // A record holds an accepted answer, which always cuts; nothing to add otherwise.
  }
  return fields;
}

// Milliseconds to the microsecond, so that JSON shows "12.345", not 17 digits.
double RoundedMs(double ms) {
  return std::round(ms * 1000.0) / 1000.0;
}

void AppendCsvCell(std::string_view cell, std::string& out) {
  out += ',';
  if (cell.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += cell;
    return;
  }
  out += '"';
  for (const char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string LatencyText(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", ms);
  return text;
}

// "[V]", or nothing for a key without a unit.
std::string UnitSuffix(const ProfileField& field) {
  return field.unit.empty() ? std::string() : '[' + field.unit + ']';
}

// A raw number as the field shows it: in decimal, or in the profile's unit to
// its decimals.
std::string NumberText(std::uint64_t raw, const ProfileField* profiled) {
  if (profiled == nullptr) return std::to_string(raw);
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", profiled->decimals,
                kelvo_profile::ScaledValue(*profiled, static_cast<double>(raw)));
  return text;
}

std::string TextLine(const Record& r, const Profile* profile) {
  std::string line = FormatTime(r.time);
  line += " address " + std::to_string(r.address) + " (" + LatencyText(r.latency_ms) + " ms)";
  const std::vector<PayloadField> fields = PayloadFields(r.frame, profile);
  if (fields.empty()) line += ' ' + r.frame;
  for (const PayloadField& field : fields) {
    line += ' ';
    if (field.profiled != nullptr) {
      line += field.profiled->key + UnitSuffix(*field.profiled);
    } else {
      AppendUtf8(field.label, line);
    }
    line += '=';
    if (field.numbers.is_array) {
      line += '[';
      for (std::size_t i = 0; i < field.numbers.numbers.size(); ++i) {
        if (i > 0) line += ',';
        line += NumberText(field.numbers.numbers[i], field.profiled);
      }
      line += ']';
    } else if (field.numbers.number) {
      line += NumberText(*field.numbers.number, field.profiled);
    } else if (field.numbers.text) {
      line += '"' + *field.numbers.text + '"';
    } else {
      AppendUtf8(field.value, line);
    }
  }
  line += '\n';
  return line;
}

}  // namespace

std::optional<RecordFormat> ParseRecordFormat(std::string_view name) {
  if (name == "text") return RecordFormat::Text;
  if (name == "json") return RecordFormat::Json;
  if (name == "csv") return RecordFormat::Csv;
  return std::nullopt;
}

std::string JsonRecord(const Record& r, const Profile* profile) {
  return JsonRecord(r, profile, {});
}

std::string JsonRecord(const Record& r, const Profile* profile, std::span<const AddedValue> added) {
  // Cut once for the items and the values.
  const std::optional<codec::FrameItems> breakdown = codec::TryBreakDownFrame(r.frame);
  nlohmann::ordered_json items = nlohmann::ordered_json::array();
  if (breakdown) {
    for (const codec::FrameItem& item : *breakdown) items.push_back(JsonItem(item));
  }
  nlohmann::ordered_json object{{"time", FormatTime(r.time)},
                                {"address", r.address},
                                {"frame", Utf8(r.frame)},
                                {"latency_ms", RoundedMs(r.latency_ms)},
                                {"items", std::move(items)}};
  if (profile != nullptr && breakdown) {
    if (std::optional<nlohmann::ordered_json> values = JsonValues(*profile, *breakdown)) {
      for (const AddedValue& a : added) {
        const double shift = std::pow(10.0, a.decimals);
        (*values)[std::string(a.key)] = std::round(a.number * shift) / shift;
      }
      object["values"] = std::move(*values);
    }
  }
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string RecordWriter::Lines(const Record& r) {
  switch (format_) {
    case RecordFormat::Text: return TextLine(r, profile_);
    case RecordFormat::Json: return JsonRecord(r, profile_) + '\n';
    case RecordFormat::Csv: break;
  }
  const std::vector<PayloadField> fields = PayloadFields(r.frame, profile_);
  std::string lines;
  if (!columns_) {
    columns_.emplace();
    lines += "time,address";
    for (const PayloadField& field : fields) {
      const std::string name = field.profiled != nullptr ? field.profiled->key : Utf8(field.label);
      const std::string unit = field.profiled != nullptr ? UnitSuffix(*field.profiled) : std::string();
      if (!field.numbers.is_array) {
        columns_->push_back(1);
        AppendCsvCell(name + unit, lines);
        continue;
      }
      columns_->push_back(field.numbers.numbers.size());
      for (std::size_t i = 1; i <= field.numbers.numbers.size(); ++i) {
        std::string header = name;
        header += '[' + std::to_string(i) + ']';
        header += unit;
        AppendCsvCell(header, lines);
      }
    }
    lines += '\n';
  }
  lines += FormatTime(r.time);
  lines += ',' + std::to_string(r.address);
  for (std::size_t i = 0; i < columns_->size(); ++i) {
    const std::size_t width = (*columns_)[i];
    if (i >= fields.size()) {
      lines.append(width, ',');
      continue;
    }
    const codec::ItemNumbers& numbers = fields[i].numbers;
    const ProfileField* profiled = fields[i].profiled;
    if (numbers.is_array) {
      for (std::size_t k = 0; k < width; ++k) {
        AppendCsvCell(k < numbers.numbers.size() ? NumberText(numbers.numbers[k], profiled) : std::string(),
                      lines);
      }
    } else if (width == 1 && numbers.number) {
      AppendCsvCell(NumberText(*numbers.number, profiled), lines);
    } else {
      // A field that is not a number (or a column laid out for another shape):
      // its text as it stands, then empty cells up to the column count.
      AppendCsvCell(Utf8(fields[i].value), lines);
      if (width > 1) lines.append(width - 1, ',');
    }
  }
  lines += '\n';
  return lines;
}

}  // namespace kelvo_records
