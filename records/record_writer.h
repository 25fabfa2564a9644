// Writes answers as records, one at a time, in one of three formats.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/frame_breakdown.h"
#include "profile/profile.h"
#include "profile/profile_values.h"
#include "records/record.h"

namespace kelvo_records {

enum class RecordFormat { Text, Json, Csv };

// "text", "json" or "csv"; none for anything else.
[[nodiscard]] std::optional<RecordFormat> ParseRecordFormat(std::string_view name);

// One JSON object on one line, no newline: "time", "address", "frame",
// "latency_ms" and "items" (as JsonItems gives them); with a profile, and
// when the answer has a payload layout, "values" last (as JsonValues gives
// them).
[[nodiscard]] std::string JsonRecord(const Record& r, const kelvo_profile::Profile* profile = nullptr);

// A figure the caller keeps beside the answer's own values (the gateway's
// energy counters), rounded to `decimals`.
struct AddedValue {
  std::string_view key;
  double number = 0;
  int decimals = 0;
};

// As above, with `added` at the end of "values" whenever there are values.
[[nodiscard]] std::string JsonRecord(const Record& r, const kelvo_profile::Profile* profile,
                                     std::span<const AddedValue> added);

// As above, from what the caller has worked out already: the answer's items
// (null when it does not cut) and the profile's values of them (empty: no
// "values"), so that a caller who needs the values too works them out once.
[[nodiscard]] std::string JsonRecord(const Record& r, const codec::FrameItems* items,
                                     std::span<const kelvo_profile::ProfileValue> values,
                                     std::span<const AddedValue> added);

// Each call returns the complete text of the lines for one record (with "\n"
// line ends), so that the caller writes and flushes them whole: to stdout, a
// file or a message payload.
// - Text: one line, the time, the address, the latency and the payload fields
//   as LABEL=VALUE (numbers in decimal, arrays in brackets, printable text
//   quoted, anything else as its hex text).
// - Json: JsonRecord.
// - Csv: a header line first, fixed by the first record: time, address, then
//   one column per payload field in layout order headed by its UTF-8 label,
//   an array expanded into LABEL[1], LABEL[2], ...; numeric fields and array
//   elements in decimal, others as their hex text. A later record fills the
//   same columns: cells it lacks stay empty, and fields or elements beyond the
//   header's are left out (the header cannot grow after the first line).
// With a profile (which must outlive the writer), JSON records gain "values",
// and Text and Csv name the fields the profile reads by KEY[UNIT] (Csv:
// KEY[i][UNIT]) and write their values in that unit, to the key's decimals.
class RecordWriter {
 public:
  explicit RecordWriter(RecordFormat format, const kelvo_profile::Profile* profile = nullptr)
      : format_(format), profile_(profile) {}

  [[nodiscard]] std::string Lines(const Record& r);
  [[nodiscard]] RecordFormat format() const { return format_; }

 private:
  RecordFormat format_;
  const kelvo_profile::Profile* profile_;
  // Csv: how many columns each payload field got from the first record.
  std::optional<std::vector<std::size_t>> columns_;
};

}  // namespace kelvo_records
