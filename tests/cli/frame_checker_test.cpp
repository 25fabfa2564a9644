#include "cli/frame_checker.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

namespace {

// Labels as the codec stores them (GBK).
#define REGISTER_ADDRESS "\xBC\xC4\xB4\xE6\xC6\xF7\xB5\xD8\xD6\xB7"                // 寄存器地址
#define REGISTER_ARRAY "\xBC\xC4\xB4\xE6\xC6\xF7\xB5\xD8\xD6\xB7\xCA\xFD\xD7\xE9"  // 寄存器地址数组
#define SERVICE_SERIAL "\xB7\xFE\xCE\xF1\xD0\xF2\xC1\xD0\xBA\xC5"                  // 服务序列号

std::string Joined(std::string_view frame) {
  std::string out;
  for (const std::string& finding : kelvo_cli::CheckFrame(frame)) {
    if (!out.empty()) out += " | ";
    out += finding;
  }
  return out.empty() ? "ok" : out;
}

struct Row {
  const char* what;
  std::string frame;
  const char* expected;
};

// Check values not taken from the worked examples were worked out with an
// independent bitwise CRC-8 (polynomial 0x31, initial 0xCC).
const Row kRows[] = {
    {"worked request, default inputs", "<11300650400268D>", "ok"},
    {"no payload, no layout", "<0B3018647>", "ok"},
    {"worked 0xE6 answer, array of two pairs", "<1F301E61202002612340027567838>", "ok"},
    {"no layout, payload skipped", "<113000104AB1284>", "ok"},
    {"0x66 request with two register addresses", "<17300660A0200260027C0>", "ok"},
    {"0xC8 answer walked through five prefixed fields",
     "<7D300C87000000001101111111122222222333333334444444403312E30000000000020240101202401020000000F20240103"
     "00000005202401041234BD>",
     "ok"},
    {"check value received wrong", "<11300650400268E>", "check value: computed 8D, received 8E"},
    {"check value not hexadecimal", "<11300650400268x>", "check value: computed 8D, received \"8x\""},
    {"start and end wrong", "[11300650400268D]",
     "start character \"[\" is not \"<\" | end mark \"]\" is not \">\""},
    {"empty", "", "empty text"},
    {"too short", "<0B3>", "5 characters: a frame has at least 11"},
    {"lone start", "<", "no end mark | 1 characters: a frame has at least 11"},
    {"between the two shapes", "<0C300650C7>",
     "12 characters: a frame has 11 without a payload and at least 14 with one"},
    {"message length wrong", "<123006504002624>", "message length 12 says 18 characters, the text has 17"},
    {"payload length wrong", "<11300650500265E>", "payload length 05 says 5 characters, the payload has 4"},
    {"header digit lower-case", "<1g3006504002633>",
     "message length \"1g\" is not two upper-case hexadecimal digits"},
    {"payload lower-case, check value covers it as is", "<11300650400abFD>",
     "payload characters 3 \"a\" and 1 more are not upper-case hexadecimal digits"},
    {"payload not hex, odd, short of its layout", "<103006503xyzC1>",
     "payload characters 1 \"x\" and 2 more are not upper-case hexadecimal digits | payload has an odd "
     "number of "
     "characters (3) | payload ends inside field 1 \"" REGISTER_ADDRESS
     "\" of command 65 (4 characters needed at "
     "least, 3 present)"},
    {"request without its register address", "<0B300653F>",
     "payload ends inside field 1 \"" REGISTER_ADDRESS
     "\" of command 65 (4 characters needed at least, 0 present)"},
    {"payload longer than its layout", "<1630065060026AB21>",
     "message length 16 says 22 characters, the text has 19 | layout of command 65 takes 4 characters, the "
     "payload "
     "has 6"},
    {"array count larger than the array", "<17300660A030026002775>",
     "payload ends inside field 2 \"" REGISTER_ARRAY
     "\" of command 66 (14 characters needed at least, 10 present)"},
    {"array count in lower case", "<17300660A0a002600271E>",
     "payload character 2 \"a\" is not an upper-case hexadecimal digit | count of field 2 \"" REGISTER_ARRAY
     "\" of command 66 is not two upper-case hexadecimal digits"},
    {"prefixed count cut off", "<7D300C87000000001101111111122222222333333334444444403312E30A7>",
     "message length 7D says 125 characters, the text has 63 | payload length 70 says 112 characters, the "
     "payload "
     "has 50 | payload ends inside field 8 \"" SERVICE_SERIAL
     "\" of command C8 (52 characters needed at least, 50 "
     "present)"},
    {"control and high bytes quoted",
     std::string("<0B\x00\xFF"
                 "0653F>",
                 11),
     "address \"\\xFF0\" is not two upper-case hexadecimal digits | payload ends inside field 1 "
     "\"" REGISTER_ADDRESS
     "\" of command 65 (4 characters needed at least, 0 present) | check value: computed 60, received 3F"},
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.what;
}

class CheckFrameTest : public testing::TestWithParam<Row> {};

TEST_P(CheckFrameTest, Findings) {
  EXPECT_EQ(Joined(GetParam().frame), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CheckFrameTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                           return "row" + std::to_string(info.index);
                         });

}  // namespace
