#include "codec/frame_validation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "gbk.h"

namespace {

using codec::FrameFault;
using codec::ValidationMode;
using enum codec::FrameFault;

struct Expected {
  FrameFault fault;
  int field;
  std::string_view label;  // UTF-8
  std::size_t position;
  std::optional<std::uint32_t> expected;
  std::optional<std::uint32_t> actual;
  std::string_view text;
  std::size_t more = 0;
  bool in_count = false;
};

struct Row {
  const char* what;
  std::string frame;
  std::vector<Expected> findings;
  ValidationMode mode = ValidationMode::AnyCommand;
};

// Frames from the checker's worked rows; positions and values by hand.
const Row kRows[] = {
    {"worked request", "<11300650400268D>", {}},
    {"check value wrong: item 7 after the one field of 0x65",
     "<11300650400268E>",
     {{CheckValue, 7, "校验值", 14, 0x8D, 0x8E, "8E"}}},
    {"check value not hex", "<11300650400268x>", {{CheckValue, 7, "校验值", 14, 0x8D, std::nullopt, "8x"}}},
    {"empty", "", {{TooShort, -1, "", 0, 11, 0, ""}}},
    {"lone start",
     "<",
     {{EndMark, 7, "结束标识", 1, std::nullopt, std::nullopt, ""}, {TooShort, -1, "", 0, 11, 1, ""}}},
    {"both marks wrong",
     "[11300650400268D]",
     {{StartMark, 0, "开始字符", 0, std::nullopt, std::nullopt, "["},
      {EndMark, 8, "结束标识", 16, std::nullopt, std::nullopt, "]"}}},
    {"message length 0x12 on 17 characters",
     "<123006504002624>",
     {{MessageLength, 1, "数据报文长度", 1, 17, 18, "12"}}},
    {"payload length 5 on 4 characters",
     "<11300650500265E>",
     {{PayloadLength, 5, "数据负载长度", 8, 4, 5, "05"}}},
    {"header digit lower-case",
     "<1g3006504002633>",
     {{NotUpperHex, 1, "数据报文长度", 1, std::nullopt, std::nullopt, "1g"}}},
    {"between the two shapes", "<0C300650C7>", {{TooShort, -1, "", 0, 14, 12, ""}}},
    // The bad digit lies in the count field; the array's count is that field.
    {"array count in lower case",
     "<17300660A0a002600271E>",
     {{NotUpperHex, 6, "寄存器地址个数", 11, std::nullopt, std::nullopt, "a"},
      {NotUpperHex, 7, "寄存器地址数组", 10, std::nullopt, std::nullopt, "0a", 0, true}}},
    {"payload not hex, odd, short of its layout",
     "<103006503xyzC1>",
     {{NotUpperHex, 6, "寄存器地址", 10, std::nullopt, std::nullopt, "x", 2},
      {PayloadOddLength, -1, "", 10, std::nullopt, 3, ""},
      {LayoutShort, 6, "寄存器地址", 10, 4, 3, ""}}},
    {"payload longer than its layout",
     "<1630065060026AB21>",
     {{MessageLength, 1, "数据报文长度", 1, 19, 0x16, "16"}, {LayoutLong, -1, "", 14, 4, 6, ""}}},
    {"array count larger than the array",
     "<17300660A030026002775>",
     {{LayoutShort, 7, "寄存器地址数组", 12, 14, 10, ""}}},
    {"uncatalogued command, any command", "<0B3018647>", {}},
    {"uncatalogued command, known commands only",
     "<0B3018647>",
     {{UnknownCommand, 4, "命令字", 6, std::nullopt, 0x86, "86"}},
     ValidationMode::RequireKnownCommand},
};

TEST(ValidateFrame, Findings) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    const auto findings = codec::ValidateFrame(row.frame, row.mode);
    ASSERT_EQ(findings.size(), row.findings.size());
    for (std::size_t i = 0; i < findings.size(); ++i) {
      const auto& got = findings[i];
      const Expected& want = row.findings[i];
      SCOPED_TRACE(i);
      EXPECT_EQ(got.fault, want.fault);
      EXPECT_EQ(got.field, want.field);
      EXPECT_EQ(codec_test::GbkToUtf8(got.label), want.label);
      EXPECT_EQ(got.position, want.position);
      EXPECT_EQ(got.expected, want.expected);
      EXPECT_EQ(got.actual, want.actual);
      EXPECT_EQ(got.text, want.text);
      EXPECT_EQ(got.more, want.more);
      EXPECT_EQ(got.in_count, want.in_count);
    }
  }
}

// Every prefix of a well-formed 0xC8 answer is validated without fault of
// its own (no throw, no read past the text) and is never found well formed.
TEST(ValidateFrame, EveryCutOfAFrameIsRejected) {
  const std::string frame =
      "<7D300C87000000001101111111122222222333333334444444403312E30000000000020240101202401020000000F20240103"
      "00000005202401041234BD>";
  ASSERT_TRUE(codec::ValidateFrame(frame).empty());
  for (std::size_t length = 0; length < frame.size(); ++length) {
    EXPECT_FALSE(codec::ValidateFrame(frame.substr(0, length)).empty()) << length;
  }
}

}  // namespace
