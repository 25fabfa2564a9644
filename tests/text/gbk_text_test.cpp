#include "text/gbk_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(GbkToUtf8Test, Table) {
  const struct {
    std::string gbk;
    std::string utf8;
  } rows[] = {
      {"", ""},
      {"<11300650400268D>", "<11300650400268D>"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      {"\xC9\xE8\xB1\xB8\xCA\xB1\xBC\xE4", "设备时间"},
      {"(\xD0\xA3\xD1\xE9\xD6\xB5)", "(校验值)"},
      // Not GBK: one U+FFFD per byte, and the next byte is read afresh.
      {"\xFF", "\xEF\xBF\xBD"},
      {"\x81", "\xEF\xBF\xBD"},
      {"\x81<", "\xEF\xBF\xBD<"},
      {"\xFF\xC9\xE8", "\xEF\xBF\xBD设"},
  };
  kelvo_text::GbkToUtf8 convert;
  // Twice: the second pass is served from what the first remembered.
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& row : rows) EXPECT_EQ(convert.Convert(row.gbk), row.utf8) << "pass " << pass;
  }
}

}  // namespace

namespace {

// Remembered by address and size: a shorter text at the same address is not
// served the longer one's conversion.
TEST(GbkToUtf8Test, LastingTextKeyedByAddressAndSize) {
  static constexpr std::string_view kLabel = "\xD0\xA3\xD1\xE9\xD6\xB5";  // 校验值
  kelvo_text::GbkToUtf8 convert;
  std::string out;
  convert.AppendLasting(kLabel, out);
  convert.AppendLasting(kLabel.substr(0, 2), out);
  convert.AppendLasting(kLabel, out);
  EXPECT_EQ(out, "校验值校校验值");
}

}  // namespace
