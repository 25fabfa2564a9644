#include "records/record_writer.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "codec/field_numbers.h"
#include "codec/frame_breakdown.h"
#include "records/frame_json.h"
#include "records/record_time.h"
#include "records/utf8.h"

namespace kelvo_records {
namespace {

// The payload fields of an answer, each with what the codec reads of it.
struct PayloadField {
  std::string_view value;
  std::string_view label;  // GBK
  codec::ItemNumbers numbers;
};

std::vector<PayloadField> PayloadFields(std::string_view frame) {
  std::vector<PayloadField> fields;
  try {
    for (const codec::FrameItem& item : codec::BreakDownFrame(frame)) {
      if (item.role == codec::ItemRole::PayloadField) {
        fields.push_back({item.value, item.label, codec::ReadItemNumbers(item)});
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

std::string TextLine(const Record& r) {
  std::string line = FormatTime(r.time);
  line += " address " + std::to_string(r.address) + " (" + LatencyText(r.latency_ms) + " ms)";
  const std::vector<PayloadField> fields = PayloadFields(r.frame);
  if (fields.empty()) line += ' ' + r.frame;
  for (const PayloadField& field : fields) {
    line += ' ';
    AppendUtf8(field.label, line);
    line += '=';
    if (field.numbers.is_array) {
      line += '[';
      for (std::size_t i = 0; i < field.numbers.numbers.size(); ++i) {
        if (i > 0) line += ',';
        line += std::to_string(field.numbers.numbers[i]);
      }
      line += ']';
    } else if (field.numbers.number) {
      line += std::to_string(*field.numbers.number);
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

std::string JsonRecord(const Record& r) {
  const nlohmann::ordered_json object{{"time", FormatTime(r.time)},
                                      {"address", r.address},
                                      {"frame", Utf8(r.frame)},
                                      {"latency_ms", RoundedMs(r.latency_ms)},
                                      {"items", JsonItems(r.frame)}};
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string RecordWriter::Lines(const Record& r) {
  switch (format_) {
    case RecordFormat::Text: return TextLine(r);
    case RecordFormat::Json: return JsonRecord(r) + '\n';
    case RecordFormat::Csv: break;
  }
  const std::vector<PayloadField> fields = PayloadFields(r.frame);
  std::string lines;
  if (!columns_) {
    columns_.emplace();
    lines += "time,address";
    for (const PayloadField& field : fields) {
      const std::string label = Utf8(field.label);
      if (!field.numbers.is_array) {
        columns_->push_back(1);
        AppendCsvCell(label, lines);
        continue;
      }
      columns_->push_back(field.numbers.numbers.size());
      for (std::size_t i = 1; i <= field.numbers.numbers.size(); ++i) {
        AppendCsvCell(label + '[' + std::to_string(i) + ']', lines);
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
    if (numbers.is_array) {
      for (std::size_t k = 0; k < width; ++k) {
        AppendCsvCell(k < numbers.numbers.size() ? std::to_string(numbers.numbers[k]) : std::string(), lines);
      }
    } else if (width == 1 && numbers.number) {
      AppendCsvCell(std::to_string(*numbers.number), lines);
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
