#include "codec/frame_breakdown.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "codec/request_builder.h"
#include "gbk.h"

namespace {

using codec::AnnotateFrame;
using codec::BreakDownFrame;
using codec::InvalidArgumentError;

std::string Annotated(std::string_view frame) {
  return codec_test::GbkToUtf8(AnnotateFrame(frame));
}

struct Breakdown {
  std::string frame;
  std::string_view text;  // UTF-8
};

TEST(AnnotateFrame, WorkedExamples) {
  const Breakdown cases[] = {
      // Request with the window's start-up values.
      {"<11300650400268D>",
       "<(开始字符)11(数据报文长度)3(版本)00(地址)65(命令字)04(数据负载长度)0026(寄存器地址)8D(校验值)>("
       "结束标识)"},
      // Answer with two register pairs: the count before the array says 2.
      {"<1F301E61202002612340027567838>",
       "<(开始字符)1F(数据报文长度)3(版本)01(地址)E6(命令字)12(数据负载长度)02(返回寄存器数据个数)"
       "0026123400275678(寄存器地址值数组)38(校验值)>(结束标识)"},
      // No layout: the payload is skipped by its length field.
      {"<113000104AB1284>",
       "<(开始字符)11(数据报文长度)3(版本)00(地址)01(命令字)04(数据负载长度)84(校验值)>(结束标识)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Annotated(c.frame), c.text) << c.frame;
}

TEST(AnnotateFrame, ShowsWhatStandsWithoutChecking) {
  const Breakdown cases[] = {
      // Empty text: every value empty, command 0, p = 10.
      {"", "(开始字符)(数据报文长度)(版本)(地址)(命令字)(数据负载长度)(校验值)(结束标识)"},
      // Positions 8-9 are always the payload length, here the check value.
      {"<0B300653F>",
       "<(开始字符)0B(数据报文长度)3(版本)00(地址)65(命令字)3F(数据负载长度)>(寄存器地址)(校验值)(结束标识)"},
      // No layout and a payload length past the end.
      {"<0B30001A1>",
       "<(开始字符)0B(数据报文长度)3(版本)00(地址)01(命令字)A1(数据负载长度)(校验值)(结束标识)"},
      // Cut off before the check value.
      {"<1130065040026",
       "<(开始字符)11(数据报文长度)3(版本)00(地址)65(命令字)04(数据负载长度)0026(寄存器地址)(校验值)("
       "结束标识)"},
      // Lower-case command digits select the layout too.
      {"<1F301e61202002612340027567838>",
       "<(开始字符)1F(数据报文长度)3(版本)01(地址)e6(命令字)12(数据负载长度)02(返回寄存器数据个数)"
       "0026123400275678(寄存器地址值数组)38(校验值)>(结束标识)"},
      // Count 0: the array is just its label.
      {"<0F301E60200C1>",
       "<(开始字符)0F(数据报文长度)3(版本)01(地址)E6(命令字)02(数据负载长度)00(返回寄存器数据个数)"
       "(寄存器地址值数组)C1(校验值)>(结束标识)"},
      // Payload longer than the layout: the trailer follows the layout's last field.
      {"<15300650800261234XX>",
       "<(开始字符)15(数据报文长度)3(版本)00(地址)65(命令字)08(数据负载长度)0026(寄存器地址)12(校验值)34("
       "结束标识)"},
      // The end mark is two characters wide; nothing after it is shown.
      {"<11300650400268D>ZZZ",
       "<(开始字符)11(数据报文长度)3(版本)00(地址)65(命令字)04(数据负载长度)0026(寄存器地址)8D(校验值)>Z("
       "结束标识)"},
      // Negative payload lengths move the trailer before position 10, at most to 0.
      {"<0B30001-F12>",
       "<(开始字符)0B(数据报文长度)3(版本)00(地址)01(命令字)-F(数据负载长度)<0(校验值)<0(结束标识)"},
      {"<0B30001-112>",
       "<(开始字符)0B(数据报文长度)3(版本)00(地址)01(命令字)-1(数据负载长度)11(校验值)2>(结束标识)"},
      // " 8" and "+8" read as 8, which has no layout.
      {"<11300 804002699>",
       "<(开始字符)11(数据报文长度)3(版本)00(地址) 8(命令字)04(数据负载长度)99(校验值)>(结束标识)"},
      {"<11300+804002699>",
       "<(开始字符)11(数据报文长度)3(版本)00(地址)+8(命令字)04(数据负载长度)99(校验值)>(结束标识)"},
      // Array start at L + 1: count from the last character and the end (14).
      {"<00301E6002",
       "<(开始字符)00(数据报文长度)3(版本)01(地址)E6(命令字)00(数据负载长度)2(返回寄存器数据个数)"
       "(寄存器地址值数组)(校验值)(结束标识)"},
      // Array start at L: count from the last two characters, empty array.
      {"<00301E6001F",
       "<(开始字符)00(数据报文长度)3(版本)01(地址)E6(命令字)00(数据负载长度)1F(返回寄存器数据个数)"
       "(寄存器地址值数组)(校验值)(结束标识)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Annotated(c.frame), c.text) << c.frame;
}

TEST(BreakDownFrame, CopiesFrameBytesUnchanged) {
  using namespace std::string_view_literals;
  const auto items = BreakDownFrame(
      "<\xC9\xE8\x00\xFF"
      "01\x80\x81"sv);
  const std::string_view values[] = {"<",
                                     "\xC9\xE8",
                                     "\x00"sv,
                                     "\xFF"
                                     "0",
                                     "1\x80",
                                     "\x81",
                                     "",
                                     ""};
  ASSERT_EQ(items.size(), std::size(values));
  for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].value, values[i]) << i;
}

// Counts are read with the upper-case-only digit rule: "0a" is 14, "ff" 238.
TEST(BreakDownFrame, CountDigitsOutsideUpperCaseReadAsFourteen) {
  const struct {
    std::string_view count;
    std::size_t array_characters;
  } cases[] = {{"0a", 8 * 14}, {"ff", 8 * 238}, {"0A", 8 * 10}, {"g1", 8 * (14 * 16 + 1)}};
  for (const auto& c : cases) {
    const std::string frame = "<00301E600" + std::string(c.count) + std::string(2000, '7');
    const auto items = BreakDownFrame(frame);
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items[7].value.size(), c.array_characters) << c.count;
    EXPECT_EQ(items[8].value, "77");
  }
}

TEST(BreakDownFrame, ItemsInOrderWithBareLabels) {
  const std::string frame = "<1F301E61202002612340027567838>";
  const struct {
    std::string_view value;
    std::string_view label;
  } expected[] = {
      {"<", "开始字符"},
      {"1F", "数据报文长度"},
      {"3", "版本"},
      {"01", "地址"},
      {"E6", "命令字"},
      {"12", "数据负载长度"},
      {"02", "返回寄存器数据个数"},
      {"0026123400275678", "寄存器地址值数组"},
      {"38", "校验值"},
      {">", "结束标识"},
  };
  const auto items = BreakDownFrame(frame);
  ASSERT_EQ(items.size(), std::size(expected));
  for (std::size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].value, expected[i].value) << i;
    EXPECT_EQ(codec_test::GbkToUtf8(items[i].label), expected[i].label) << i;
  }
}

// The C8 answer: version "1.0", serial "ABCD", empty factory name, board "X",
// release date 2026-01-01, then the fixed fields.
const std::string kC8Payload =
    "00000001"
    "10"
    "11111111"
    "22222222"
    "33333333"
    "44444444"
    "03312E30"
    "0441424344"
    "00"
    "0158"
    "0420260101"
    "5A"
    "20260101"
    "20260102"
    "0000000F"
    "20261208"
    "00000003"
    "20261207"
    "1F40";

TEST(BreakDownFrame, PrefixedFieldsCarryTheirCount) {
  const std::string frame = codec::EncodeRequest(1, "C8", kC8Payload);
  const auto items = BreakDownFrame(frame);
  ASSERT_EQ(items.size(), 6u + 19u + 2u);
  const std::string_view prefixed[] = {"03312E30", "0441424344", "00", "0158", "0420260101"};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(items[12 + i].value, prefixed[i]);
  EXPECT_EQ(codec_test::GbkToUtf8(items[12].label), "应用版本");
  EXPECT_EQ(items[24].value, "1F40");
  EXPECT_EQ(items[26].value, ">");
}

TEST(BreakDownFrame, PrefixedAtTheEnd) {
  // Four empty prefixed fields put the fifth at position 60.
  const std::string head = "<00301C800" + kC8Payload.substr(0, 42) + "00000000";
  ASSERT_EQ(head.size(), 60u);
  // At L - 1: first digit "1", second the end of the text (14): 30 bytes.
  const std::string frame = head + "1";
  const auto items = BreakDownFrame(frame);
  EXPECT_EQ(items[16].value, "1");
  EXPECT_EQ(items[25].value, "");
  // At L: nothing to read.
  EXPECT_THROW((void)BreakDownFrame(head), InvalidArgumentError);
}

struct Truncation {
  std::string frame;
  std::size_t last_count_at;  // Where the frame's last count byte starts; 0 if none.
};

// One frame of each layout, built around its payload.
std::vector<Truncation> FramesOfEachLayout() {
  return {
      {codec::EncodeRequest(1, "42", "5F5E1000"), 0},
      {codec::EncodeRequest(1, "48", "000000015F5E10000002"), 0},
      {codec::EncodeRequest(1, "65", "0026"), 0},
      {codec::EncodeRequest(1, "66", "0200260027"), 10},
      {codec::EncodeRequest(1, "C2",
                            "5F5E1000"
                            "03E8"
                            "64"
                            "1482"
                            "03"
                            "0CE40CE50CE6"
                            "0010"
                            "0000"
                            "02"
                            "1A1B"
                            "0000"
                            "0000"
                            "0000"
                            "0000"
                            "0000"
                            "03"
                            "0000"
                            "0000"
                            "0000"
                            "0000"
                            "0007"
                            "0012"
                            "0013"
                            "50"
                            "1F40"
                            "2710"
                            "2700"
                            "ABCD"
                            "BCDE"),
       50},
      {codec::EncodeRequest(1, "C8", kC8Payload), 76},
      {codec::EncodeRequest(1, "E5", "00260001"), 0},
      {codec::EncodeRequest(1, "E6", "020026123400275678"), 10},
  };
}

// Cut at every length, a frame either lacks a count it needs, or breaks down
// into values that give back exactly the text.
TEST(BreakDownFrame, FramesCutAtEveryLength) {
  for (const Truncation& t : FramesOfEachLayout()) {
    for (std::size_t length = 0; length <= t.frame.size(); ++length) {
      const std::string cut = t.frame.substr(0, length);
      SCOPED_TRACE(cut);
      // Fewer than 8 characters hold no command, hence no layout.
      if (length >= 8 && length <= t.last_count_at) {
        EXPECT_THROW((void)BreakDownFrame(cut), InvalidArgumentError);
        continue;
      }
      std::string joined;
      for (const auto& item : BreakDownFrame(cut)) joined += item.value;
      EXPECT_EQ(joined, cut);
    }
  }
}

TEST(AnnotateFrame, CountPastTheEndRaisesInvalidArgument) {
  const std::string_view frames[] = {
      "<00301C8",                                              // 0xC8: first prefixed field at 52.
      "<00301C800000000011011111111222222223333333344444444",  // 52 characters.
      "<00301C2005F5E100003E8641482",                          // 0xC2 of 28 characters: cell array at 30.
      "<00301C2",
      "<00301660",   // 0x66 of 9 characters: array at 12.
      "<00301E600",  // 0xE6 of 10 characters.
      "<00301e600",
  };
  for (const std::string_view frame : frames) {
    try {
      (void)AnnotateFrame(frame);
      ADD_FAILURE() << "no failure for " << frame;
    } catch (const InvalidArgumentError& e) {
      EXPECT_EQ(e.status(), 0x80070057u);
      const std::invalid_argument& base = e;  // Callers may catch the standard type.
      EXPECT_NE(std::string_view(base.what()), "");
    }
  }
}

TEST(AnnotateFrame, ShortTextsOfFixedLayoutsNeverFail) {
  for (const std::string_view command : {"42", "48", "65", "E5", "01", "FF", "", "zz"}) {
    const std::string full = "<003001" + std::string(command);
    for (std::size_t length = 0; length <= full.size(); ++length) {
      EXPECT_NO_THROW((void)AnnotateFrame(full.substr(0, length))) << full.substr(0, length);
    }
  }
}

}  // namespace

namespace {

// Where BreakDownFrame throws, TryBreakDownFrame says none; else the same items.
TEST(TryBreakDownFrame, NoneWhereTheBreakdownThrows) {
  EXPECT_FALSE(codec::TryBreakDownFrame("<00301C8").has_value());
  EXPECT_FALSE(codec::TryBreakDownFrame("<00301E600").has_value());
  const auto items = codec::TryBreakDownFrame("<1F301E61202002612340027567838>");
  ASSERT_TRUE(items.has_value());
  ASSERT_EQ(items->size(), 10u);
  EXPECT_EQ((*items)[7].value, "0026123400275678");
  EXPECT_EQ((*items)[7].role, codec::ItemRole::PayloadField);
  EXPECT_EQ((*items)[7].kind, codec::FieldKind::Array4);
  EXPECT_EQ((*items)[8].role, codec::ItemRole::CheckValue);
}

}  // namespace
