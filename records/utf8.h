// GBK text of the codec (labels, frame bytes) as UTF-8, for records.
#pragma once

#include <string>
#include <string_view>

namespace kelvo_records {

// Bytes that are not GBK become U+FFFD. One converter per thread, kept for
// the thread's life.
[[nodiscard]] std::string Utf8(std::string_view gbk);
void AppendUtf8(std::string_view gbk, std::string& out);
// As AppendUtf8, for text that stays at one address, unchanged, for the
// program's life (the codec's labels): converted once, then copied.
void AppendLastingUtf8(std::string_view gbk, std::string& out);

}  // namespace kelvo_records
