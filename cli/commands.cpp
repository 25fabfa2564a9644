#include "cli/commands.h"

#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/frame_checker.h"
#include "cli/frame_scan.h"
#include "text/gbk_text.h"
#include "cli/line_reader.h"
#include "cli/output.h"
#include "cli/quoted.h"
#include "codec/frame_breakdown.h"
#include "codec/request_builder.h"

namespace kelvo_cli {
namespace {

constexpr std::string_view kProgram = "kelvo-frame: ";

// Where a frame came from, for messages: a line of standard input or an argument.
struct Origin {
  bool from_stdin;
  std::size_t number;
};

void AppendOrigin(std::string& text, Origin origin) {
  text += origin.from_stdin ? "line " : "argument ";
  text += std::to_string(origin.number);
}

struct Tally {
  std::size_t good = 0;
  std::size_t bad = 0;
  std::size_t lines_without_frame = 0;
};

// Calls `each(frame, origin)` for every argument, or with none for every frame
// of every line of `in`, counting the lines that hold none.
template <typename Each>
void ForEachFrame(const std::vector<std::string>& frames, int in, Tally& tally, Each each) {
  if (!frames.empty()) {
    for (std::size_t i = 0; i < frames.size(); ++i) each(std::string_view(frames[i]), Origin{false, i + 1});
    return;
  }
  LineReader reader(in);
  std::string_view line;
  std::size_t number = 0;
  while (reader.Next(line)) {
    ++number;
    std::size_t pos = 0;
    bool any = false;
    while (const auto frame = NextFrame(line, pos)) {
      any = true;
      each(*frame, Origin{true, number});
    }
    if (!any) ++tally.lines_without_frame;
  }
}

// "frames: 3 decoded, 1 failed; 2 lines without a frame"
void WriteSummary(Output& err, const Tally& tally, std::string_view good, std::string_view bad) {
  std::string& text = err.Text();
  text += kProgram;
  text += "frames: " + std::to_string(tally.good) + ' ';
  text += good;
  text += ", " + std::to_string(tally.bad) + ' ';
  text += bad;
  text += "; " + std::to_string(tally.lines_without_frame);
  text += tally.lines_without_frame == 1 ? " line" : " lines";
  text += " without a frame\n";
  err.Flush();
}

// Writes one frame's breakdown, item by item as the codec hands them out, in
// the same bytes as AnnotateFrame's text; only the encoding may differ.
class DecodeWriter {
 public:
  DecodeWriter(const DecodeOptions& options, Output& out) : options_(options), out_(out) {}

  void Write(std::string_view frame, const codec::FrameItems& items, Origin origin) {
    std::string& text = out_.Text();
    if (options_.json) {
      nlohmann::ordered_json object;
      if (origin.from_stdin) object["line"] = origin.number;
      object["frame"] = Utf8(frame);
      nlohmann::ordered_json& list = object["items"] = nlohmann::ordered_json::array();
      for (const codec::FrameItem& item : items) {
        list.push_back({{"value", Utf8(item.value)}, {"label", Utf8(item.label)}});
      }
      text += object.dump();
    } else {
      for (const codec::FrameItem& item : items) {
        Emit(item.value, text);
        text += '(';
        if (options_.gbk) {
          text += item.label;
        } else {
          gbk_.AppendLasting(item.label, text);  // labels live as long as the program
        }
        text += ')';
      }
    }
    text += '\n';
    out_.Done();
  }

 private:
  void Emit(std::string_view gbk, std::string& text) {
    if (options_.gbk) {
      text += gbk;
    } else {
      gbk_.Append(gbk, text);
    }
  }
  std::string Utf8(std::string_view gbk) { return gbk_.Convert(gbk); }

  const DecodeOptions& options_;
  Output& out_;
  kelvo_text::GbkToUtf8 gbk_;
};

}  // namespace

std::optional<std::int32_t> ParseAddress(std::string_view text) noexcept {
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && text.front() == '-')) return std::nullopt;
  // from_chars takes a leading "-" but no "+", blank or base prefix.
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int RunEncode(std::int32_t address, std::string_view command, std::string_view payload, const Streams& io) {
  const std::string frame = codec::EncodeRequest(address, command, payload);
  const bool refused = frame == codec::kLengthErrorText;
  Output output(refused ? io.err : io.out);
  output.Text() = frame + '\n';
  output.Flush();
  return refused ? 1 : 0;
}

int RunDecode(const std::vector<std::string>& frames, const DecodeOptions& options, const Streams& io) {
  Output out(io.out, std::size_t{1} << 17);
  Output err(io.err);
  // Holds a table of every GBK character it has met: too large for the stack.
  const auto writer = std::make_unique<DecodeWriter>(options, out);
  Tally tally;
  ForEachFrame(frames, io.in, tally, [&](std::string_view frame, Origin origin) {
    try {
      writer->Write(frame, codec::BreakDownFrame(frame), origin);
      ++tally.good;
    } catch (const codec::InvalidArgumentError& e) {
      ++tally.bad;
      std::string& text = err.Text();
      text += kProgram;
      AppendOrigin(text, origin);
      text += ": cannot decode ";
      text += Quoted(frame);
      text += ": a count byte lies past the end of the frame (E_INVALIDARG 0x80070057)\n";
      err.Flush();
    }
  });
  out.Flush();
  if (frames.empty()) WriteSummary(err, tally, "decoded", "failed");
  return tally.bad > 0 ? 1 : 0;
}

int RunCheck(const std::vector<std::string>& frames, const Streams& io) {
  Output out(io.out);
  Output err(io.err);
  const auto gbk = std::make_unique<kelvo_text::GbkToUtf8>();
  Tally tally;
  std::string line;
  ForEachFrame(frames, io.in, tally, [&](std::string_view frame, Origin origin) {
    const std::vector<std::string> findings = CheckFrame(frame);
    line.clear();
    if (origin.from_stdin) {
      AppendOrigin(line, origin);
      line += ": ";
    }
    if (findings.empty()) {
      ++tally.good;
      line += "ok";
    } else {
      ++tally.bad;
      for (std::size_t i = 0; i < findings.size(); ++i) {
        if (i > 0) line += "; ";
        line += findings[i];
      }
    }
    line += '\n';
    gbk->Append(line, out.Text());
    out.Done();
  });
  out.Flush();
  if (frames.empty()) WriteSummary(err, tally, "ok", "not well formed");
  return tally.bad > 0 ? 1 : 0;
}

}  // namespace kelvo_cli
