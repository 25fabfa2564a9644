#include "cli/poll_command.h"

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/event_loop.h"
#include "cli/link_options.h"
#include "cli/message.h"
#include "cli/output.h"
#include "cli/profile_option.h"
#include "cli/request_check.h"
#include "codec/address_list.h"
#include "codec/frame_text.h"
#include "codec/request_builder.h"
#include "codec/requests.h"
#include "link/link_client.h"
#include "link/round_poller.h"
#include "records/latency_histogram.h"
#include "records/record_time.h"
#include "records/record_writer.h"
#include "system/process_signals.h"

namespace kelvo_cli {
namespace {

struct PollOptions {
  PortOptions port;
  ExchangeOptions exchange;
  ProfileOption profile;
  int interval_ms = 1000;
  long long count = 0;  // 0: until stopped
  std::string addresses = "0";
  std::string format = "text";
  std::string command;
  std::optional<std::string> payload;
  bool force = false;
};

std::string MsText(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", ms);
  return text;
}

std::chrono::system_clock::time_point ToTimePoint(const QDateTime& at) {
  return std::chrono::system_clock::time_point(std::chrono::milliseconds(at.toMSecsSinceEpoch()));
}

// The request for each address: the status request carries the host time
// when no payload is given; anything else goes as given.
std::function<QByteArray(int)> RequestMaker(const PollOptions& options) {
  const bool host_time = !options.payload &&
                         codec::ParseHexNumber(options.command) == codec::CommandCode(codec::Command::Status);
  if (host_time) return {};  // the round poller's own default
  return [command = options.command, payload = options.payload.value_or("")](int address) {
    return QByteArray::fromStdString(codec::BuildRequest(address, command, payload).frame);
  };
}

// One run of poll: the rounds, each answer written as a record, and the tally.
class PollRun : public QObject {
 public:
  // `profile`, which must outlive the run, goes into the records as the
  // writer takes it.
  PollRun(const PollOptions& options, std::vector<int> addresses, const kelvo_profile::Profile* profile,
          const Streams& io)
      : options_(options),
        client_(options.port.Settings()),
        rounds_(client_, Rounds(options, std::move(addresses))),
        writer_(*kelvo_records::ParseRecordFormat(options.format), profile),
        out_(io.out, std::size_t{1} << 16, Output::OnError::Keep),
        err_(io.err, std::size_t{1} << 16, Output::OnError::Ignore) {
    client_.SetReconnectInterval(options.interval_ms);
    connect(&client_, &kelvo_link::LinkClient::openFailed, this,
            [this](kelvo_link::LinkError, const QString& message) {
              Error("cannot open " + message.toStdString());
              EventLoop::Quit(kLinkFailure);
            });
    connect(&client_, &kelvo_link::LinkClient::linkLost, this, [this](const QString& message) {
      Error("link lost: " + message.toStdString() + "; reopening every " +
            std::to_string(options_.interval_ms) + " ms");
      lost_ = true;
    });
    connect(&client_, &kelvo_link::LinkClient::stateChanged, this, [this](kelvo_link::LinkState state) {
      if (state != kelvo_link::LinkState::Open || !lost_) return;
      Error("link back: " + options_.port.port);
      lost_ = false;
    });
    connect(&rounds_, &kelvo_link::RoundPoller::requestSent, this, [this] { ++requests_; });
    connect(&rounds_, &kelvo_link::RoundPoller::answered, this, &PollRun::Answered);
    connect(&rounds_, &kelvo_link::RoundPoller::missed, this, &PollRun::Missed);
    connect(&rounds_, &kelvo_link::RoundPoller::finished, this, [this] { EventLoop::Quit(Finish()); });
  }

  // The exchange in flight is cancelled while everything it reports to still stands.
  ~PollRun() override {
    rounds_.Stop();
    client_.Close();
  }

  void Start() {
    client_.Open();
    rounds_.Start();
  }

  // Summary on standard error; the exit status. A request cut short by the
  // end counts as sent and unanswered.
  int Finish() {
    if (status_) return *status_;
    rounds_.Stop();
    std::string& text = err_.Text();
    if (output_error_ != 0) text += MessageLine(OutputFailureText(output_error_));
    text += MessagePrefix() + std::to_string(requests_) + (requests_ == 1 ? " request, " : " requests, ") +
            std::to_string(answered_) + " answered, " + std::to_string(requests_ - answered_) + " failed";
    if (latency_.count() > 0) {
      text += "; latency p50 " + MsText(latency_.Percentile(0.5)) + " ms, p99 " +
              MsText(latency_.Percentile(0.99)) + " ms";
    }
    text += '\n';
    err_.Flush();
    status_ = output_error_ != 0 ? kOutputFailure : answered_ == requests_ ? kSuccess : kNoAnswer;
    return *status_;
  }

 private:
  static kelvo_link::RoundSettings Rounds(const PollOptions& options, std::vector<int> addresses) {
    kelvo_link::RoundSettings rounds;
    rounds.addresses = std::move(addresses);
    rounds.interval_ms = options.interval_ms;
    rounds.request = options.exchange.Request();
    rounds.rounds = options.count;
    rounds.make_request = RequestMaker(options);
    return rounds;
  }

  void Answered(int address, const kelvo_link::Exchange& exchange) {
    ++answered_;
    latency_.Add(exchange.latencyMs());
    const kelvo_records::Record record{ToTimePoint(exchange.answeredAt()), address,
                                       exchange.answer().toStdString(), exchange.latencyMs()};
    out_.Text() = writer_.Lines(record);
    out_.Flush();
    if (out_.error() != 0 && output_error_ == 0) {
      output_error_ = out_.error();
      EventLoop::Quit(Finish());
    }
  }

  // Every unanswered request has its line, also while the link is down.
  void Missed(int address, const kelvo_link::Exchange& exchange) {
    Error(kelvo_records::FormatTime(std::chrono::system_clock::now()) + " address " +
          std::to_string(address) + ": " + exchange.reason().toStdString());
  }

  void Error(const std::string& line) {
    err_.Text() = MessageLine(line);
    err_.Flush();
  }

  const PollOptions& options_;
  kelvo_link::LinkClient client_;
  kelvo_link::RoundPoller rounds_;
  kelvo_records::RecordWriter writer_;
  kelvo_records::LatencyHistogram latency_;
  Output out_;
  Output err_;
  bool lost_ = false;
  int output_error_ = 0;       // errno of the failed write of a record
  std::optional<int> status_;  // once the summary is written
  std::uint64_t requests_ = 0;
  std::uint64_t answered_ = 0;
};

int Run(const PollOptions& options, const Streams& io) {
  const std::string sample_payload = options.payload.value_or(DefaultPayload(options.command));
  if (const std::optional<std::string> problem =
          RequestProblem(options.command, sample_payload, options.force)) {
    Output err(io.err, std::size_t{1} << 16, Output::OnError::Ignore);
    err.Text() = MessageLine(*problem);
    err.Flush();
    return kUsageError;
  }
  // JSON records carry values with the default profile too; csv and text
  // change their columns only for a profile asked for by name.
  const bool json = options.format == "json";
  const std::optional<CommandProfile> profile = LoadCommandProfile(options.profile, json, io.err);
  if (!profile) return kUsageError;
  const kelvo_profile::Profile* record_profile = json || options.profile.given() ? profile->get() : nullptr;
  EventLoop loop;
  kelvo_system::ProcessSignals stop({SIGINT, SIGTERM});
  PollRun run(options, *codec::ParseAddressList(options.addresses), record_profile, io);
  // The first signal ends it; the summary is written once.
  QObject::connect(
      &stop, &kelvo_system::ProcessSignals::received, &run, [&] { EventLoop::Quit(run.Finish()); },
      Qt::SingleShotConnection);
  run.Start();
  return loop.Run();
}

}  // namespace

void AddPollCommand(CommandRegistry& registry) {
  auto options = std::make_shared<PollOptions>();
  CLI::App* poll =
      registry.Add("poll", "Send a request to each address every interval and record the answers",
                   [options] { return Run(*options, Streams{}); });
  AddPortOptions(*poll, options->port);
  AddExchangeOptions(*poll, options->exchange);
  poll->add_option("--interval", options->interval_ms, "Milliseconds from the start of one round to the next")
      ->capture_default_str()
      ->check(CLI::Range(1, 86400000));
  poll->add_option("--count", options->count, "Rounds to run (default: until SIGINT or SIGTERM)")
      ->check(CLI::Range(1LL, 1LL << 50));
  poll->add_option("--address", options->addresses,
                   "Decimal addresses and ranges, polled in this order (0,1,2 or 1-50,60)")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](const std::string& text) {
            std::string why;
            return codec::ParseAddressList(text, &why) ? std::string() : why;
          },
          "LIST", "LIST"));
  poll->add_option("--format", options->format, "Records as text, json (one object a line) or csv")
      ->capture_default_str()
      ->check(CLI::IsMember({"text", "json", "csv"}));
  AddProfileOption(*poll, options->profile);
  poll->add_flag("--force", options->force,
                 "Send a payload that is not well formed or does not fit its command's layout");
  poll->add_option("COMMAND", options->command, "Command code: one byte of hexadecimal")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& text) {
            return IsCommandByte(text) ? std::string() : "not a command code of 1 or 2 hex digits: " + text;
          },
          "HEX", "COMMAND"));
  poll->add_option("PAYLOAD", options->payload,
                   "Payload characters (default: none; for 42, the host time as 8 hex digits)");
  poll->footer(
      "Example:\n"
      "  kelvo-frame poll --port /dev/ttyUSB0 --address 0,1 --interval 2000 --format csv 42 > log.csv\n"
      "Exit status: 0 all answered, 1 some were not, 2 usage error or a refused request, 3 the port\n"
      "cannot be opened at the start, 4 output failed. See kelvo-frame(1).");
}

}  // namespace kelvo_cli
