#include "records/record_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "codec/field_numbers.h"
#include "codec/frame_breakdown.h"
#include "profile/profile_values.h"
#include "records/json_text.h"
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

// A status record with values is some 2.5 KB: room for it at once.
constexpr std::size_t kJsonRecordReserve = 3072;

// GBK text as a JSON string of its UTF-8 form, converted in place.
void AppendUtf8String(std::string_view gbk, bool lasting, std::string& out) {
  out += '"';
  const std::size_t start = out.size();
  if (lasting) {
    AppendLastingUtf8(gbk, out);
  } else {
    AppendUtf8(gbk, out);
  }
  EscapeJsonFrom(start, out);
  out += '"';
}

// JsonItem's object, written out.
void AppendJsonItem(const codec::FrameItem& item, std::string& out) {
  out += "{\"value\":";
  AppendUtf8String(item.value, false, out);
  out += ",\"label\":";
  AppendUtf8String(item.label, true, out);  // the codec's labels live as long as the program
  const codec::ItemNumbers numbers = codec::ReadItemNumbers(item);
  if (numbers.number) {
    out += ",\"number\":";
    AppendJsonUnsigned(*numbers.number, out);
  }
  // An empty array is complete; a non-empty one without numbers is not hex.
  if (numbers.is_array && (!numbers.numbers.empty() || item.value.empty())) {
    out += ",\"numbers\":[";
    for (std::size_t i = 0; i < numbers.numbers.size(); ++i) {
      if (i > 0) out += ',';
      AppendJsonUnsigned(numbers.numbers[i], out);
    }
    out += ']';
  }
  if (numbers.text) {
    out += ",\"text\":";
    AppendJsonString(*numbers.text, out);
  }
  out += '}';
}

// A value's number as JsonValues gives it: whole where the key has no decimals.
void AppendValueNumber(double number, int decimals, std::string& out) {
  if (decimals == 0) {
    AppendJsonInteger(std::llround(number), out);
  } else {
    AppendJsonDouble(number, out);
  }
}

void AppendValue(const kelvo_profile::ProfileValue& value, std::string& out) {
  switch (value.kind) {
    case kelvo_profile::ValueKind::Number: AppendValueNumber(value.number, value.decimals, out); return;
    case kelvo_profile::ValueKind::Numbers:
      out += '[';
      for (std::size_t i = 0; i < value.numbers.size(); ++i) {
        if (i > 0) out += ',';
        AppendValueNumber(value.numbers[i], value.decimals, out);
      }
      out += ']';
      return;
    case kelvo_profile::ValueKind::Flags:
      out += '[';
      for (std::size_t i = 0; i < value.flags.size(); ++i) {
        if (i > 0) out += ',';
        AppendJsonString(value.flags[i], out);
      }
      out += ']';
      return;
  }
}

void AppendAddedValue(const AddedValue& a, std::string& out) {
  const double shift = std::pow(10.0, a.decimals);
  AppendJsonDouble(std::round(a.number * shift) / shift, out);
}

// The members of "values": each value, an added figure in place of a value
// with its key (as a keyed assignment would do), the other added ones last.
void AppendJsonValues(std::span<const kelvo_profile::ProfileValue> values, std::span<const AddedValue> added,
                      std::string& out) {
  // The last figure given for `name`, as the last assignment would leave it.
  const auto added_for = [&](std::string_view name) -> const AddedValue* {
    const AddedValue* found = nullptr;
    for (const AddedValue& a : added) {
      if (a.key == name) found = &a;
    }
    return found;
  };
  bool first = true;
  const auto key = [&](std::string_view name) {
    if (!first) out += ',';
    first = false;
    AppendJsonString(name, out);
    out += ':';
  };
  for (const kelvo_profile::ProfileValue& value : values) {
    key(value.key);
    if (const AddedValue* a = added_for(value.key)) {
      AppendAddedValue(*a, out);
    } else {
      AppendValue(value, out);
    }
  }
  for (std::size_t i = 0; i < added.size(); ++i) {
    const AddedValue& a = added[i];
    const bool in_values =
        std::ranges::any_of(values, [&](const kelvo_profile::ProfileValue& v) { return v.key == a.key; });
    // A key given twice among the added ones keeps its first place and its last figure.
    bool seen_before = false;
    for (std::size_t k = 0; k < i; ++k) seen_before = seen_before || added[k].key == a.key;
    if (in_values || seen_before) continue;
    key(a.key);
    AppendAddedValue(*added_for(a.key), out);
  }
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
  std::optional<std::vector<kelvo_profile::ProfileValue>> values;
  if (profile != nullptr && breakdown) values = kelvo_profile::ApplyProfile(*profile, *breakdown);
  return JsonRecord(r, breakdown ? &*breakdown : nullptr,
                    values ? std::span<const kelvo_profile::ProfileValue>(*values)
                           : std::span<const kelvo_profile::ProfileValue>(),
                    added);
}

std::string JsonRecord(const Record& r, const codec::FrameItems* items,
                       std::span<const kelvo_profile::ProfileValue> values,
                       std::span<const AddedValue> added) {
  // Written straight into the text, in the order and number forms the JSON
  // document (JsonItem, JsonValues) gives: a record's bytes are fixed.
  std::string out;
  out.reserve(kJsonRecordReserve);
  out += "{\"time\":";
  AppendJsonString(FormatTime(r.time), out);
  out += ",\"address\":";
  AppendJsonInteger(r.address, out);
  out += ",\"frame\":";
  AppendUtf8String(r.frame, false, out);
  out += ",\"latency_ms\":";
  AppendJsonDouble(RoundedMs(r.latency_ms), out);
  out += ",\"items\":[";
  if (items != nullptr) {
    bool first = true;
    for (const codec::FrameItem& item : *items) {
      if (!first) out += ',';
      first = false;
      AppendJsonItem(item, out);
    }
  }
  out += ']';
  if (!values.empty()) {
    out += ",\"values\":{";
    AppendJsonValues(values, added, out);
    out += '}';
  }
  out += '}';
  return out;
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
