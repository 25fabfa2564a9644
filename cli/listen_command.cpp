#include "cli/listen_command.h"

#include <unistd.h>

#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/event_loop.h"
#include "cli/frame_checker.h"
#include "cli/link_options.h"
#include "cli/message.h"
#include "cli/output.h"
#include "cli/profile_option.h"
#include "cli/quoted.h"
#include "codec/field_numbers.h"
#include "codec/frame_validation.h"
#include "codec/requests.h"
#include "link/line_listener.h"
#include "records/frame_json.h"
#include "records/profile_json.h"
#include "records/record_time.h"
#include "system/process_signals.h"
#include "text/gbk_text.h"

namespace kelvo_cli {
namespace {

struct ListenOptions {
  PortOptions port;
  ProfileOption profile;
  bool json = false;
};

std::string_view FaultName(codec::FrameFault fault) {
  using enum codec::FrameFault;
  switch (fault) {
    case StartMark: return "start_mark";
    case EndMark: return "end_mark";
    case TooShort: return "too_short";
    case MessageLength: return "message_length";
    case PayloadLength: return "payload_length";
    case NotUpperHex: return "not_upper_hex";
    case PayloadOddLength: return "payload_odd_length";
    case LayoutShort: return "layout_short";
    case LayoutLong: return "layout_long";
    case UnknownCommand: return "unknown_command";
    case CheckValue: return "check_value";
  }
  return "unknown";
}

// One finding as an object: what, where, and the two values where there are two.
nlohmann::ordered_json FindingJson(const codec::FrameFinding& finding, kelvo_text::GbkToUtf8& utf8) {
  nlohmann::ordered_json object{{"fault", FaultName(finding.fault)}, {"position", finding.position}};
  if (finding.field >= 0) object["field"] = finding.field;
  if (!finding.label.empty()) object["label"] = utf8.Convert(finding.label);
  if (finding.expected) object["expected"] = *finding.expected;
  if (finding.actual) object["actual"] = *finding.actual;
  return object;
}

// The values of an answer (a command with the answer bit); none for a request.
std::optional<nlohmann::ordered_json> AnswerValues(const std::string& frame,
                                                   const kelvo_profile::Profile& profile) {
  const std::optional<codec::FrameItems> items = codec::TryBreakDownFrame(frame);
  if (!items) return std::nullopt;
  for (const codec::FrameItem& item : *items) {
    if (item.role != codec::ItemRole::Command) continue;
    const std::optional<std::uint64_t> command = codec::ReadItemNumbers(item).number;
    if (!command || (*command & codec::kAnswerBit) == 0) return std::nullopt;
    return kelvo_records::JsonValues(profile, *items);
  }
  return std::nullopt;
}

std::string FrameLine(const std::string& time, const std::string& frame, bool json, bool terminal,
                      const kelvo_profile::Profile* profile, kelvo_text::GbkToUtf8& utf8) {
  if (json) {
    nlohmann::ordered_json findings = nlohmann::ordered_json::array();
    for (const codec::FrameFinding& finding : codec::ValidateFrame(frame)) {
      findings.push_back(FindingJson(finding, utf8));
    }
    // The numbers of a frame with findings are not the unit's figures.
    const bool well_formed = findings.empty();
    nlohmann::ordered_json object{{"time", time},
                                  {"frame", utf8.Convert(frame)},
                                  {"items", kelvo_records::JsonItems(frame)},
                                  {"findings", std::move(findings)}};
    if (profile != nullptr && well_formed) {
      if (std::optional<nlohmann::ordered_json> values = AnswerValues(frame, *profile)) {
        object["values"] = std::move(*values);
      }
    }
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
  }
  // The frame first after the time, so that decode and check read these lines
  // as a log; escaped so that it stays on its line and cannot drive a terminal.
  std::string line = time + ' ';
  AppendFrameEscaped(utf8.Convert(frame), terminal, line);
  line += ' ';
  const std::vector<std::string> findings = CheckFrame(frame);
  if (findings.empty()) line += "ok";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    if (i > 0) line += "; ";
    utf8.Append(findings[i], line);
  }
  return line + '\n';
}

int Run(const ListenOptions& options, const Streams& io) {
  const std::optional<CommandProfile> profile = LoadCommandProfile(options.profile, options.json, io.err);
  if (!profile) return kUsageError;
  EventLoop loop;
  kelvo_system::ProcessSignals stop({SIGINT, SIGTERM});
  kelvo_link::LineListener listener(options.port.Settings());
  Output out(io.out);
  Output err(io.err);
  const auto utf8 = std::make_unique<kelvo_text::GbkToUtf8>();
  const bool terminal = ::isatty(io.out) == 1;
  const auto error = [&](const std::string& text) {
    err.Text() = MessageLine(text);
    err.Flush();
  };
  QObject::connect(&stop, &kelvo_system::ProcessSignals::received, &listener,
                   [] { EventLoop::Quit(kSuccess); });
  QObject::connect(&listener, &kelvo_link::LineListener::openFailed, &listener,
                   [&](kelvo_link::LinkError, const QString& message) {
                     error("cannot open " + message.toStdString());
                     EventLoop::Quit(kLinkFailure);
                   });
  bool lost = false;
  QObject::connect(&listener, &kelvo_link::LineListener::linkLost, &listener, [&](const QString& message) {
    error("link lost: " + message.toStdString() + "; reopening every second");
    lost = true;
  });
  QObject::connect(&listener, &kelvo_link::LineListener::opened, &listener, [&] {
    if (lost) error("link back: " + options.port.port);
    lost = false;
  });
  QObject::connect(
      &listener, &kelvo_link::LineListener::frameSeen, &listener,
      [&](const QByteArray& frame, const QDateTime& at) {
        const std::string time = kelvo_records::FormatTime(
            std::chrono::system_clock::time_point(std::chrono::milliseconds(at.toMSecsSinceEpoch())));
        out.Text() = FrameLine(time, frame.toStdString(), options.json, terminal, profile->get(), *utf8);
        out.Flush();
      });
  QObject::connect(&listener, &kelvo_link::LineListener::overlongDropped, &listener,
                   [&] { error("dropped a frame with no \">\" within 255 characters"); });
  listener.Open();
  return loop.Run();
}

}  // namespace

void AddListenCommand(CommandRegistry& registry) {
  auto options = std::make_shared<ListenOptions>();
  CLI::App* listen = registry.Add("listen", "Print every frame seen on the line, without sending anything",
                                  [options] { return Run(*options, Streams{}); });
  AddPortOptions(*listen, options->port);
  listen->add_flag("--json", options->json,
                   "One JSON object a frame: time, frame, items, findings, and values for an answer");
  AddProfileOption(*listen, options->profile);
  listen->footer(
      "Example:\n"
      "  kelvo-frame listen --port /dev/ttyUSB0\n"
      "  kelvo-frame listen --port tcp://192.168.1.50:4001 --json\n"
      "Exit status: 0 stopped by a signal, 2 usage error, 3 the port cannot be opened.\n"
      "See kelvo-frame(1).");
}

}  // namespace kelvo_cli
