// Drives the real kelvo-frame executable: arguments, standard input, output
// and exit status.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "kelvo_frame_process.h"

namespace {

kelvo_test::Result RunKelvoFrame(const std::vector<std::string>& args, const std::string& input = "") {
  return kelvo_test::RunKelvoFrame({.args = args, .input = {{input}}});
}

// The worked breakdown of the default request, in UTF-8 and as the codec's GBK.
const std::string kDefaultUtf8 =
    "<(开始字符)11(数据报文长度)3(版本)00(地址)65(命令字)04(数据负载长度)0026(寄存器地址)8D(校验值)>("
    "结束标识)";
const std::string kDefaultGbk =
    "<(\xBF\xAA\xCA\xBC\xD7\xD6\xB7\xFB)11(\xCA\xFD\xBE\xDD\xB1\xA8\xCE\xC4\xB3\xA4\xB6\xC8)3("
    "\xB0\xE6\xB1\xBE)"
    "00(\xB5\xD8\xD6\xB7)65(\xC3\xFC\xC1\xEE\xD7\xD6)04(\xCA\xFD\xBE\xDD\xB8\xBA\xD4\xD8\xB3\xA4\xB6\xC8)"
    "0026(\xBC\xC4\xB4\xE6\xC6\xF7\xB5\xD8\xD6\xB7)8D(\xD0\xA3\xD1\xE9\xD6\xB5)>("
    "\xBD\xE1\xCA\xF8\xB1\xEA\xCA\xB6)";
// Worked breakdown of a command without a layout: the payload is skipped.
const std::string kNoLayoutUtf8 =
    "<(开始字符)11(数据报文长度)3(版本)00(地址)01(命令字)04(数据负载长度)84(校验值)>(结束标识)";

struct Row {
  const char* what;
  std::vector<std::string> args;
  std::string input;
  int status;
  std::string out;
  std::string err;  // must appear in standard error; empty: nothing may
};

const std::string kA227(227, 'A');

const Row kRows[] = {
    // encode: worked results.
    {"default inputs", {"encode", "0", "65", "0026"}, "", 0, "<11300650400268D>\n", ""},
    {"prefixed command, no payload", {"encode", "1", "0x86"}, "", 0, "<0B3018647>\n", ""},
    {"negative address", {"encode", "-1", "186", "0026"}, "", 0, "<113FF8604002632>\n", ""},
    {"saturated command", {"encode", "256", "FFFFFFFFF", "0026"}, "", 0, "<11300FF040026E4>\n", ""},
    {"plus sign, empty payload", {"encode", "+300", "8", ""}, "", 0, "<0B32C08CB>\n", ""},
    {"lowest address", {"encode", "-2147483648", "65"}, "", 0, "<0B300653F>\n", ""},
    {"longest frame", {"encode", "0", "65", kA227}, "", 0, "<F030065E3" + kA227 + "3C>\n", ""},
    {"length error", {"encode", "0", "65", kA227 + "A"}, "", 1, "", "length error, too long!!\n"},
    // Usage errors: status 2 and the usage.
    {"address not a number", {"encode", "zz", "65"}, "", 2, "", "Usage: kelvo-frame encode"},
    {"address out of range", {"encode", "2147483648", "65"}, "", 2, "", "Usage:"},
    {"address with a blank", {"encode", " 1", "65"}, "", 2, "", "Usage:"},
    {"address in hexadecimal", {"encode", "0x10", "65"}, "", 2, "", "Usage:"},
    {"two signs", {"encode", "+-1", "65"}, "", 2, "", "Usage:"},
    {"command missing", {"encode", "0"}, "", 2, "", "Usage:"},
    {"too many arguments", {"encode", "0", "65", "00", "00"}, "", 2, "", "Usage:"},
    {"no subcommand", {}, "", 2, "", "Usage: kelvo-frame"},
    {"unknown subcommand", {"frobnicate"}, "", 2, "", "Usage:"},
    {"json and gbk", {"decode", "--json", "--gbk"}, "", 2, "", "Usage:"},
    {"help", {"--help"}, "", 0, "", ""},
    {"version", {"--version"}, "", 0, "kelvo-frame 1.0.0\n", ""},
    // decode with arguments: each taken whole, like the window's box.
    {"worked request", {"decode", "<11300650400268D>"}, "", 0, kDefaultUtf8 + "\n", ""},
    {"worked request as GBK", {"decode", "--gbk", "<11300650400268D>"}, "", 0, kDefaultGbk + "\n", ""},
    {"profile none, text as before",
     {"decode", "--profile", "none", "<11300650400268D>"},
     "",
     0,
     kDefaultUtf8 + "\n",
     ""},
    {"profile named is read even for text",
     {"decode", "--profile", "/nonexistent/site.toml", "<11300650400268D>"},
     "",
     2,
     "",
     "kelvo-frame: /nonexistent/site.toml: cannot read the profile\n"},
    {"frame bytes converted too",
     {"decode", "<\xC9\xE8\xFF"},
     "",
     0,
     "<(开始字符)设(数据报文长度)\xEF\xBF\xBD(版本)(地址)(命令字)(数据负载长度)(校验值)(结束标识)\n",
     ""},
    {"count past the end",
     {"decode", "<11300650400268D>", "<1130066"},
     "",
     1,
     kDefaultUtf8 + "\n",
     "argument 2: cannot decode \"<1130066\""},
    // decode from standard input: every frame of every line.
    {"log lines",
     {"decode"},
     "12:00:01.250 tx <11300650400268D> rx <113000104AB1284>\nno frame here\n12:00:02 <0B3 cut off\n",
     0,
     kDefaultUtf8 + "\n" + kNoLayoutUtf8 + "\n",
     "frames: 2 decoded, 0 failed; 2 lines without a frame\n"},
    {"NUL and high bytes around a frame",
     {"decode"},
     std::string("\0\xFF\x80<11300650400268D>\0\xFE", 23),
     0,
     kDefaultUtf8 + "\n",
     "frames: 1 decoded, 0 failed; 0 lines without a frame\n"},
    {"failure on line 2, the rest go on",
     {"decode"},
     "<11300650400268D>\nx <1130066> y\n<11300650400268D>",
     1,
     kDefaultUtf8 + "\n" + kDefaultUtf8 + "\n",
     "line 2: cannot decode \"<1130066>\": a count byte lies past the end of the frame"},
    {"failure counted",
     {"decode"},
     "<1130066>\n",
     1,
     "",
     "frames: 0 decoded, 1 failed; 0 lines without a frame\n"},
    // check.
    {"check arguments",
     {"check", "<11300650400268D>", "<11300650400268E>"},
     "",
     1,
     "ok\ncheck value: computed 8D, received 8E\n",
     ""},
    {"check all well formed", {"check", "<0B3018647>"}, "", 0, "ok\n", ""},
    {"check log lines",
     {"check"},
     "t <11300650400268D> <0B3018647>\n\nt <11300650400268E>\n",
     1,
     "line 1: ok\nline 1: ok\nline 3: check value: computed 8D, received 8E\n",
     "frames: 2 ok, 1 not well formed; 1 line without a frame\n"},
    {"check finding with a label in UTF-8",
     {"check", "<0B300653F>"},
     "",
     1,
     "payload ends inside field 1 \"寄存器地址\" of command 65 (4 characters needed at least, 0 present)\n",
     ""},
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.what;
}

class KelvoFrameTest : public testing::TestWithParam<Row> {};

TEST_P(KelvoFrameTest, Runs) {
  const Row& row = GetParam();
  const auto result = RunKelvoFrame(row.args, row.input);
  EXPECT_EQ(result.status, row.status);
  if (row.args == std::vector<std::string>{"--help"}) {
    EXPECT_NE(result.out.find("Usage: kelvo-frame [OPTIONS] SUBCOMMAND"), std::string::npos) << result.out;
  } else {
    EXPECT_EQ(result.out, row.out);
  }
  if (row.err.empty()) {
    EXPECT_EQ(result.err, "");
  } else {
    EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, KelvoFrameTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                           return "row" + std::to_string(info.index);
                         });

// Lines of 1 MiB: text around a frame, and one frame of 1 MiB, the longest
// a log may hold.
TEST(KelvoFrameLargeTest, MebibyteLines) {
  const std::string mib(std::size_t{1} << 20, 'x');
  const std::string big_frame = "<" + std::string((std::size_t{1} << 20) - 2, 'A') + ">";
  const auto decoded = RunKelvoFrame({"decode"}, mib + "<11300650400268D>" + mib + "\n" + big_frame + "\n");
  EXPECT_EQ(decoded.status, 0);
  // Command AA has no layout: the check value and end mark follow 0xAA payload characters.
  EXPECT_EQ(
      decoded.out,
      kDefaultUtf8 + "\n" +
          "<(开始字符)AA(数据报文长度)A(版本)AA(地址)AA(命令字)AA(数据负载长度)AA(校验值)AA(结束标识)\n");
  EXPECT_EQ(decoded.err, "kelvo-frame: frames: 2 decoded, 0 failed; 0 lines without a frame\n");

  const auto checked = RunKelvoFrame({"check"}, big_frame + "\n");
  EXPECT_EQ(checked.status, 1);
  EXPECT_EQ(checked.out.rfind("line 1: message length AA says 170 characters, the text has 1048576; ", 0), 0u)
      << checked.out.substr(0, 200);
}

TEST(KelvoFrameJsonTest, ItemsInOrder) {
  const auto result =
      RunKelvoFrame({"decode", "--json"}, "a <1F301E61202002612340027567838> b\nc <1130066> d\n");
  EXPECT_EQ(result.status, 1);
  std::istringstream lines(result.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  const auto object = nlohmann::json::parse(line);
  EXPECT_EQ(object["line"], 1);
  EXPECT_EQ(object["frame"], "<1F301E61202002612340027567838>");
  // Worked 0xE6 answer: six header items, two payload fields, two trailer items.
  const std::vector<std::pair<std::string, std::string>> expected{{"<", "开始字符"},
                                                                  {"1F", "数据报文长度"},
                                                                  {"3", "版本"},
                                                                  {"01", "地址"},
                                                                  {"E6", "命令字"},
                                                                  {"12", "数据负载长度"},
                                                                  {"02", "返回寄存器数据个数"},
                                                                  {"0026123400275678", "寄存器地址值数组"},
                                                                  {"38", "校验值"},
                                                                  {">", "结束标识"}};
  ASSERT_EQ(object["items"].size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(object["items"][i]["value"], expected[i].first) << i;
    EXPECT_EQ(object["items"][i]["label"], expected[i].second) << i;
  }
  EXPECT_FALSE(std::getline(lines, line)) << "a failed frame writes no object";
  EXPECT_NE(result.err.find("line 2: cannot decode"), std::string::npos);
}

}  // namespace

namespace {

// Numbers come from the codec; worked by hand from the digits.
TEST(KelvoFrameJsonTest, NumbersOfFields) {
  const auto result = RunKelvoFrame(
      {"decode", "--json",
       // 0xC2 answer: four cells, two sensors.
       "<87301C27A6571A2B300646214B4040CE40CE50CE60CE70000001002191800000000000000000000000000000000000000"
       "000000120034500FA01F401F400100020050>",
       // 0xC8 answer: application version "1.0".
       "<7D300C87000000001101111111122222222333333334444444403312E30000000000020240101202401020000000F202401"
       "0300000005202401041234BD>"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::istringstream lines(result.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  const auto c2 = nlohmann::json::parse(line)["items"];
  EXPECT_FALSE(c2[0].contains("number"));  // start mark
  EXPECT_EQ(c2[1]["number"], 0x87);
  EXPECT_EQ(c2[6]["number"], 0x6571A2B3);
  EXPECT_EQ(c2[11]["numbers"], nlohmann::json({3300, 3301, 3302, 3303}));
  EXPECT_EQ(c2[15]["numbers"], nlohmann::json({0x19, 0x18}));
  EXPECT_FALSE(c2[11].contains("number"));
  ASSERT_TRUE(std::getline(lines, line));
  const auto c8 = nlohmann::json::parse(line)["items"];
  EXPECT_EQ(c8[12]["text"], "1.0");
  EXPECT_EQ(c8[14]["text"], "");
  EXPECT_FALSE(c8[12].contains("number"));
}

// decode --json adds "values" by the default profile; --profile none leaves
// the object as it was. The 0xC2 answer of the simulated unit at address 0.
TEST(KelvoFrameJsonTest, ValuesByTheDefaultProfile) {
  const std::string answer =
      "<BB300C2AE6B19623400C8611486100CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD500000708"
      "044445464400000000000200000000030000000000000000000000780077500F2812F212D416A816BC70>";
  const auto with = RunKelvoFrame({"decode", "--json", answer});
  const auto without = RunKelvoFrame({"decode", "--json", "--profile", "none", answer});
  ASSERT_EQ(with.status, 0) << with.err;
  ASSERT_EQ(without.status, 0) << without.err;
  EXPECT_EQ(without.out.find("values"), std::string::npos);
  // The same object, "values" added last.
  ASSERT_EQ(with.out.rfind(without.out.substr(0, without.out.size() - 2) + ",\"values\":{", 0), 0u)
      << with.out;
  const auto values = nlohmann::json::parse(with.out)["values"];
  EXPECT_EQ(values["remaining_capacity"].dump(), "38.8");
  EXPECT_EQ(values["cell_spread"].dump(), "0.01");
}

}  // namespace
