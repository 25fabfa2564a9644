// kelvo-frame fed as a hostile user would: huge lines, binary noise, output
// that cannot be written, input that fails halfway, a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "kelvo_frame_process.h"

namespace {

using kelvo_test::Piece;
using kelvo_test::RunKelvoFrame;

#if defined(__SANITIZE_ADDRESS__)
// Instrumented runs are slower; the sizes still lie far beyond what the
// memory bound would allow a program that holds a whole line.
constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kLongLineMiB = 160;
constexpr std::size_t kNulMiB = 256;
#else
constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kLongLineMiB = 300;
constexpr std::size_t kNulMiB = 1024;
#endif
constexpr long kPeakBoundKiB = 100 * 1024;

const std::string kFrame = "<11300650400268D>";
const std::string kDecoded =
    "<(开始字符)11(数据报文长度)3(版本)00(地址)65(命令字)04(数据负载长度)0026(寄存器地址)8D(校验值)>("
    "结束标识)\n";

struct HugeRow {
  const char* what;
  std::vector<std::string> args;
  std::vector<Piece> input;
  int status;
  std::string out;
  std::string err;  // must appear in standard error
};

const HugeRow kHugeRows[] = {
    {"frames around a long line of text",
     {"decode"},
     {{kFrame + " "}, {std::string(kMiB, 'x'), kLongLineMiB}, {" " + kFrame + "\n"}},
     0,
     kDecoded + kDecoded,
     "frames: 2 decoded, 0 failed; 0 lines without a frame"},
    {"a long line that is one frame",
     {"decode"},
     {{kFrame + "\n<"}, {std::string(kMiB, 'A'), kLongLineMiB}, {">\n" + kFrame}},
     1,
     kDecoded + kDecoded,
     "line 2: a frame runs past 1048576 bytes without its end mark; skipped\n"
     "kelvo-frame: frames: 2 decoded, 1 failed; 0 lines without a frame"},
    {"checked, a long frame is reported on its line",
     {"check"},
     {{kFrame + "\n<"}, {std::string(kMiB, 'A'), kLongLineMiB}, {">\n" + kFrame}},
     1,
     "line 1: ok\nline 2: a frame runs past 1048576 bytes without its end mark: not checked\nline 3: ok\n",
     "frames: 2 ok, 1 not well formed; 0 lines without a frame"},
    {"NUL bytes without a line end",
     {"decode"},
     {{kFrame}, {std::string(kMiB, '\0'), kNulMiB}, {kFrame}},
     0,
     kDecoded + kDecoded,
     "frames: 2 decoded, 0 failed; 0 lines without a frame"},
};

class HugeInputTest : public testing::TestWithParam<HugeRow> {};

TEST_P(HugeInputTest, BoundedMemoryAndEveryFrame) {
  const HugeRow& row = GetParam();
  const auto result = RunKelvoFrame({.args = row.args, .input = row.input});
  EXPECT_EQ(result.status, row.status);
  EXPECT_EQ(result.out, row.out);
  EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("alloc"), std::string::npos) << result.err;
  EXPECT_LT(result.peak_kib, kPeakBoundKiB);
}

INSTANTIATE_TEST_SUITE_P(Table, HugeInputTest, testing::ValuesIn(kHugeRows),
                         [](const testing::TestParamInfo<HugeRow>& info) {
                           return "row" + std::to_string(info.index);
                         });

TEST(UnwritableOutputTest, HelpAndVersionIntoAFullDevice) {
  const int full = open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  for (const char* flag : {"--help", "--version"}) {
    const auto result = RunKelvoFrame({.args = {flag}, .out_fd = full});
    EXPECT_NE(result.status, 0) << flag;
    EXPECT_NE(result.err.find("kelvo-frame: writing output: No space left on device"), std::string::npos)
        << flag << ": " << result.err;
  }
  close(full);
}

TEST(UnwritableOutputTest, ResultsStillReachOutputWhenErrorsCannot) {
  const int full = open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  const auto result =
      RunKelvoFrame({.args = {"decode"}, .input = {{kFrame + "\n<1130066>\n" + kFrame}}, .err_fd = full});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, kDecoded + kDecoded);
  close(full);
}

// Input that fails after two frames: what was made of them comes out before
// the failure is reported.
TEST(FailingInputTest, OutputMadeBeforeAReadFailureIsKept) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const std::string line = "<1130066>\n" + kFrame + "\n";
  ASSERT_EQ(write(pipe_fds[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
  // Nothing more comes while the write end stays open: the next read fails.
  ASSERT_EQ(fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK), 0);
  const auto result = RunKelvoFrame({.args = {"decode"}, .in_fd = pipe_fds[0], .err_to_out = true});
  close(pipe_fds[0]);
  close(pipe_fds[1]);
  EXPECT_EQ(result.status, 1);
  // Results, then the messages held so far, then the failure.
  EXPECT_EQ(result.out,
            kDecoded +
                "kelvo-frame: line 1: cannot decode \"<1130066>\": a count byte lies past the end of "
                "the frame (E_INVALIDARG 0x80070057)\n"
                "kelvo-frame: reading standard input: Resource temporarily unavailable\n");
}

// On a terminal the frame's control characters are escaped; into a file they
// stay as they are.
TEST(TerminalTest, DecodeEscapesControlCharactersOnATerminal) {
  const std::string frame = "<1\x1B[2J\x07>";
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  termios raw{};
  ASSERT_EQ(tcgetattr(slave, &raw), 0);
  cfmakeraw(&raw);
  ASSERT_EQ(tcsetattr(slave, TCSANOW, &raw), 0);
  const auto on_terminal = RunKelvoFrame({.args = {"decode", "--gbk", frame}, .out_fd = slave});
  close(slave);
  std::string shown;
  char chunk[4096];
  for (ssize_t got; (got = read(master, chunk, sizeof chunk)) > 0;)
    shown.append(chunk, static_cast<std::size_t>(got));
  close(master);
  EXPECT_EQ(on_terminal.status, 0);
  // Start mark "<", message length "1\x1B", version "[", address "2J", command "\x07>".
  EXPECT_NE(shown.find("<(\xBF\xAA\xCA\xBC\xD7\xD6\xB7\xFB)1\\x1B(\xCA\xFD"), std::string::npos) << shown;
  EXPECT_NE(shown.find(")\\x07>(\xC3\xFC"), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\x1B'), std::string::npos);

  const auto into_file = RunKelvoFrame({.args = {"decode", "--gbk", frame}});
  EXPECT_NE(into_file.out.find(")1\x1B("), std::string::npos) << into_file.out;
}

}  // namespace
