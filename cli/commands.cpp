#include "cli/commands.h"

#include <unistd.h>

#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/frame_checker.h"
#include "cli/input_reader.h"
#include "cli/log_scan.h"
#include "cli/message.h"
#include "cli/output.h"
#include "cli/quoted.h"
#include "codec/frame_breakdown.h"
#include "codec/frame_scanner.h"
#include "codec/frame_text.h"
#include "codec/request_builder.h"
#include "records/frame_json.h"
#include "records/profile_json.h"
#include "text/gbk_text.h"

namespace kelvo_cli {
namespace {

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

// A command's two outputs. Results leave in large writes; messages are
// buffered too, since one write each made failing frames many times slower
// than good ones. Both are written out before the command waits for input
// and before it ends, failure or not, so nothing made is lost.
class Outputs {
 public:
  Outputs(const Streams& io, std::size_t flush_at)
      : out(io.out, flush_at), err(io.err, std::size_t{1} << 16, Output::OnError::Ignore) {}
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;

  void Flush() {
    out.Flush();
    err.Flush();
  }
  // Runs `body`, and when it fails writes out what is pending before the
  // failure is reported.
  template <typename Body>
  int Guard(Body body) {
    try {
      return body();
    } catch (...) {
      out.FlushQuietly();
      err.FlushQuietly();
      throw;
    }
  }

  Output out;
  Output err;
};

// Calls `each(frame, origin)` for every argument, or with none for every frame
// of every line of `in`, counting the lines that hold none; frames too long
// for a log go to `overlong(origin)`.
template <typename Each, typename Overlong>
void ForEachFrame(const std::vector<std::string>& frames, int in, Outputs& outputs, Tally& tally, Each each,
                  Overlong overlong) {
  if (!frames.empty()) {
    for (std::size_t i = 0; i < frames.size(); ++i) each(std::string_view(frames[i]), Origin{false, i + 1});
    return;
  }
  InputReader reader(in);
  reader.SetBeforeWait([&outputs] { outputs.Flush(); });
  tally.lines_without_frame = ScanLog(
      reader, codec::kLogFrameCap,
      [&](std::string_view frame, std::size_t line) {
        // A log written by listen carries the frame's line breaks escaped.
        if (frame.find('\\') == std::string_view::npos) {
          each(frame, Origin{true, line});
        } else {
          each(std::string_view(UnescapeFrame(frame)), Origin{true, line});
        }
      },
      [&](std::size_t line) {
        ++tally.bad;
        overlong(Origin{true, line});
      });
}

// "80070057": eight upper-case digits.
std::string UpperHex(std::uint32_t value) {
  std::string digits(8, '0');
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit, value >>= 4) {
    *digit = codec::HexDigit(static_cast<int>(value & 0xF));
  }
  return digits;
}

// "a frame runs past 1048576 bytes without its end mark"
std::string OverlongText() {
  return "a frame runs past " + std::to_string(codec::kLogFrameCap) + " bytes without its end mark";
}

// "frames: 3 decoded, 1 failed; 2 lines without a frame"
void WriteSummary(Output& err, const Tally& tally, std::string_view good, std::string_view bad) {
  std::string& text = err.Text();
  text += MessagePrefix();
  text += "frames: " + std::to_string(tally.good) + ' ';
  text += good;
  text += ", " + std::to_string(tally.bad) + ' ';
  text += bad;
  text += "; " + std::to_string(tally.lines_without_frame);
  text += tally.lines_without_frame == 1 ? " line" : " lines";
  text += " without a frame\n";
}

// Writes one frame's breakdown, item by item as the codec hands them out, in
// the same bytes as AnnotateFrame's text; only the encoding may differ, and on
// a terminal the frame's control characters are escaped.
class DecodeWriter {
 public:
  DecodeWriter(const DecodeOptions& options, bool terminal, Output& out)
      : options_(options), terminal_(terminal), out_(out) {}

  void Write(std::string_view frame, const codec::FrameItems& items, Origin origin) {
    std::string& text = out_.Text();
    if (options_.json) {
      nlohmann::ordered_json object;
      if (origin.from_stdin) object["line"] = origin.number;
      object["frame"] = Utf8(frame);
      nlohmann::ordered_json& list = object["items"] = nlohmann::ordered_json::array();
      for (const codec::FrameItem& item : items) list.push_back(kelvo_records::JsonItem(item));
      if (options_.profile != nullptr) {
        if (std::optional<nlohmann::ordered_json> values =
                kelvo_records::JsonValues(*options_.profile, items)) {
          object["values"] = std::move(*values);
        }
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
    if (!terminal_) {
      if (options_.gbk) {
        text += gbk;
      } else {
        gbk_.Append(gbk, text);
      }
      return;
    }
    // Control characters are ASCII in GBK and UTF-8 alike, never part of a
    // two-byte character, so they are escaped after conversion.
    scratch_.clear();
    if (options_.gbk) {
      scratch_ = gbk;
    } else {
      gbk_.Append(gbk, scratch_);
    }
    AppendControlsEscaped(scratch_, text);
  }
  std::string Utf8(std::string_view gbk) { return gbk_.Convert(gbk); }

  const DecodeOptions& options_;
  bool terminal_;
  Output& out_;
  kelvo_text::GbkToUtf8 gbk_;
  std::string scratch_;
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
  return refused ? kFailed : kSuccess;
}

int RunDecode(const std::vector<std::string>& frames, const DecodeOptions& options, const Streams& io) {
  Outputs outputs(io, std::size_t{1} << 17);
  return outputs.Guard([&] {
    // Holds a table of every GBK character it has met: too large for the stack.
    const auto writer = std::make_unique<DecodeWriter>(options, ::isatty(io.out) == 1, outputs.out);
    Tally tally;
    std::string& message = outputs.err.Text();
    ForEachFrame(
        frames, io.in, outputs, tally,
        [&](std::string_view frame, Origin origin) {
          if (const auto items = codec::TryBreakDownFrame(frame)) {
            writer->Write(frame, *items, origin);
            ++tally.good;
            return;
          }
          ++tally.bad;
          message += MessagePrefix();
          AppendOrigin(message, origin);
          message += ": cannot decode ";
          message += Quoted(frame);
          message += ": a count byte lies past the end of the frame (E_INVALIDARG 0x";
          message += UpperHex(codec::InvalidArgumentError::kStatus);
          message += ")\n";
          outputs.err.Done();
        },
        [&](Origin origin) {
          message += MessagePrefix();
          AppendOrigin(message, origin);
          message += ": " + OverlongText() + "; skipped\n";
          outputs.err.Done();
        });
    outputs.out.Flush();
    if (frames.empty()) WriteSummary(outputs.err, tally, "decoded", "failed");
    outputs.err.Flush();
    return tally.bad > 0 ? kFailed : kSuccess;
  });
}

int RunCheck(const std::vector<std::string>& frames, const Streams& io) {
  Outputs outputs(io, std::size_t{1} << 16);
  return outputs.Guard([&] {
    const auto gbk = std::make_unique<kelvo_text::GbkToUtf8>();
    Tally tally;
    std::string line;
    const auto start_line = [&line](Origin origin) {
      line.clear();
      if (origin.from_stdin) {
        AppendOrigin(line, origin);
        line += ": ";
      }
    };
    const auto end_line = [&] {
      line += '\n';
      gbk->Append(line, outputs.out.Text());
      outputs.out.Done();
    };
    ForEachFrame(
        frames, io.in, outputs, tally,
        [&](std::string_view frame, Origin origin) {
          const std::vector<std::string> findings = CheckFrame(frame);
          start_line(origin);
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
          end_line();
        },
        [&](Origin origin) {
          start_line(origin);
          line += OverlongText() + ": not checked";
          end_line();
        });
    outputs.out.Flush();
    if (frames.empty()) WriteSummary(outputs.err, tally, "ok", "not well formed");
    outputs.err.Flush();
    return tally.bad > 0 ? kFailed : kSuccess;
  });
}

}  // namespace kelvo_cli
