// JSON values appended to a string as the JSON library's compact dump writes
// them (error handler "replace", UTF-8 kept as it is), so that a record can
// be written without building a document and keep every byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo_records {

// `text` as a quoted JSON string: `"`, `\` and control characters escaped
// (\b \f \n \r \t, else \u00xx), other bytes as they are; text that is not
// valid UTF-8 is written as the JSON library writes it (U+FFFD in place of
// what does not decode).
void AppendJsonString(std::string_view text, std::string& out);

// Escapes in place, as AppendJsonString does between its quotes, the bytes
// of `out` from `start` on, which must be valid UTF-8 (the GBK converter's
// output): for text converted straight into the record.
void EscapeJsonFrom(std::size_t start, std::string& out);

// Whole numbers in decimal.
void AppendJsonInteger(std::int64_t n, std::string& out);
void AppendJsonUnsigned(std::uint64_t n, std::string& out);

// The shortest text that reads back as `x` ("12.345", "3.0", "1e-05"); null
// for NaN and the infinities.
void AppendJsonDouble(double x, std::string& out);

}  // namespace kelvo_records
