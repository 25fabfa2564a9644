#include "cli/poll_command.h"

#include <QTimer>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/event_loop.h"
#include "cli/link_options.h"
#include "cli/output.h"
#include "codec/frame_text.h"
#include "codec/request_builder.h"
#include "codec/requests.h"
#include "link/link_client.h"
#include "records/latency_histogram.h"
#include "records/record_time.h"
#include "records/record_writer.h"
#include "system/process_signals.h"

namespace kelvo_cli {
namespace {

// The request that carries the host's clock when it has no payload of its own.
constexpr std::int32_t kHostTimeCommand = 0x42;

struct PollOptions {
  PortOptions port;
  ExchangeOptions exchange;
  int interval_ms = 1000;
  long long count = 0;  // 0: until stopped
  std::string addresses = "0";
  std::string format = "text";
  std::string command;
  std::optional<std::string> payload;
};

std::string MsText(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", ms);
  return text;
}

std::chrono::system_clock::time_point ToTimePoint(const QDateTime& at) {
  return std::chrono::system_clock::time_point(std::chrono::milliseconds(at.toMSecsSinceEpoch()));
}

// Rounds of requests, one exchange at a time, and their tally.
class Poller : public QObject {
 public:
  Poller(const PollOptions& options, std::vector<int> addresses, const Streams& io)
      : options_(options),
        addresses_(std::move(addresses)),
        client_(options.port.Settings()),
        writer_(*kelvo_records::ParseRecordFormat(options.format)),
        out_(io.out),
        err_(io.err) {
    client_.SetReconnectInterval(options.interval_ms);
    round_timer_.setTimerType(Qt::PreciseTimer);
    connect(&round_timer_, &QTimer::timeout, this, &Poller::RoundDue);
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
    connect(&client_, &kelvo_link::LinkClient::stateChanged, this,
            [this](kelvo_link::LinkClient::State state) {
              if (state != kelvo_link::LinkClient::State::Open) return;
              if (lost_) {
                Error("link back: " + options_.port.port);
                lost_ = false;
              }
              if (!started_) {
                started_ = true;
                StartRound();
              }
            });
  }

  // The exchange in flight is cancelled while everything it reports to still stands.
  ~Poller() override {
    stopped_ = true;
    client_.Close();
  }

  void Start() { client_.Open(); }

  // Summary on standard error; the exit status.
  int Finish() {
    stopped_ = true;
    round_timer_.stop();
    std::string& text = err_.Text();
    text += "kelvo-frame: " + std::to_string(requests_) + (requests_ == 1 ? " request, " : " requests, ") +
            std::to_string(answered_) + " answered, " + std::to_string(requests_ - answered_) + " failed";
    if (latency_.count() > 0) {
      text += "; latency p50 " + MsText(latency_.Percentile(0.5)) + " ms, p99 " +
              MsText(latency_.Percentile(0.99)) + " ms";
    }
    text += '\n';
    err_.Flush();
    return answered_ == requests_ ? 0 : kNoAnswer;
  }

 private:
  void RoundDue() {
    if (next_ < addresses_.size()) {
      due_ = true;  // the last round overran: the next starts as soon as it ends
      return;
    }
    StartRound();
  }

  void StartRound() {
    due_ = false;
    if (options_.count > 0 && rounds_ >= options_.count) return;
    // Start to start: the next round is one interval after this one began,
    // also when this one begins late because the last overran.
    round_timer_.start(options_.interval_ms);
    ++rounds_;
    next_ = 0;
    SendNext();
  }

  void SendNext() {
    if (next_ >= addresses_.size()) {
      if (options_.count > 0 && rounds_ >= options_.count) {
        EventLoop::Quit(Finish());
      } else if (due_) {
        StartRound();
      }
      return;
    }
    const int address = addresses_[next_];
    const bool host_time = !options_.payload && codec::ParseHexNumber(options_.command) == kHostTimeCommand;
    const std::string payload =
        host_time ? codec::HostTimeHex(std::time(nullptr)) : options_.payload.value_or("");
    const std::string request = codec::EncodeRequest(address, options_.command, payload);
    kelvo_link::Exchange* exchange =
        client_.Send(QByteArray::fromStdString(request), options_.exchange.Request());
    connect(exchange, &kelvo_link::Exchange::finished, this, [this, exchange, address] {
      exchange->deleteLater();
      if (stopped_) return;
      Done(*exchange, address);
      ++next_;
      SendNext();
    });
  }

  // Counts a finished request (one cut short by a stop is not counted).
  void Done(const kelvo_link::Exchange& exchange, int address) {
    ++requests_;
    if (exchange.ok()) {
      ++answered_;
      latency_.Add(exchange.latencyMs());
      const kelvo_records::Record record{ToTimePoint(exchange.answeredAt()), address,
                                         exchange.answer().toStdString(), exchange.latencyMs()};
      out_.Text() = writer_.Lines(record);
      out_.Flush();
      return;
    }
    // While the link is down, the loss and the return say it all.
    if (exchange.result() == kelvo_link::ExchangeResult::LinkDown) return;
    Error(kelvo_records::FormatTime(std::chrono::system_clock::now()) + " address " +
          std::to_string(address) + ": " + exchange.reason().toStdString());
  }

  void Error(const std::string& line) {
    err_.Text() = "kelvo-frame: " + line + '\n';
    err_.Flush();
  }

  const PollOptions& options_;
  std::vector<int> addresses_;
  kelvo_link::LinkClient client_;
  kelvo_records::RecordWriter writer_;
  kelvo_records::LatencyHistogram latency_;
  Output out_;
  Output err_;
  QTimer round_timer_;
  long long rounds_ = 0;
  std::size_t next_ = 0;  // the address of this round in flight; its count once the round is done
  bool due_ = false;
  bool started_ = false;
  bool lost_ = false;
  bool stopped_ = false;  // summary written: nothing more is reported
  std::uint64_t requests_ = 0;
  std::uint64_t answered_ = 0;
};

int Run(const PollOptions& options, const Streams& io) {
  if (codec::EncodeRequest(0, options.command, options.payload.value_or("")) == codec::kLengthErrorText) {
    Output err(io.err);
    err.Text() = "kelvo-frame: " + std::string(codec::kLengthErrorText) + " (the payload is too long)\n";
    err.Flush();
    return kUsageError;
  }
  EventLoop loop;
  kelvo_system::ProcessSignals stop({SIGINT, SIGTERM});
  Poller poller(options, *ParsePollAddresses(options.addresses), io);
  // The first signal ends it; the summary is written once.
  QObject::connect(
      &stop, &kelvo_system::ProcessSignals::received, &poller, [&] { EventLoop::Quit(poller.Finish()); },
      Qt::SingleShotConnection);
  poller.Start();
  return loop.Run();
}

}  // namespace

std::optional<std::vector<int>> ParsePollAddresses(std::string_view text) {
  std::vector<int> addresses;
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    int value = -1;
    const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value, 10);
    if (item.empty() || item.front() == '-' || error != std::errc() || end != item.data() + item.size() ||
        value > 255) {
      return std::nullopt;
    }
    addresses.push_back(value);
    if (comma == std::string_view::npos) return addresses;
    text.remove_prefix(comma + 1);
  }
}

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
  poll->add_option("--address", options->addresses, "Comma-separated decimal addresses, polled in this order")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](const std::string& text) {
            return ParsePollAddresses(text) ? std::string()
                                            : "expected decimal addresses 0-255 like 0,1,2: " + text;
          },
          "LIST", "LIST"));
  poll->add_option("--format", options->format, "Records as text, json (one object a line) or csv")
      ->capture_default_str()
      ->check(CLI::IsMember({"text", "json", "csv"}));
  poll->add_option("COMMAND", options->command, "Command code, hexadecimal (as encode takes it)")->required();
  poll->add_option("PAYLOAD", options->payload,
                   "Payload characters (default: none; for 42, the host time as 8 hex digits)");
  poll->footer(
      "Example:\n"
      "  kelvo-frame poll --port /dev/ttyUSB0 --address 0,1 --interval 2000 --format csv 42 > log.csv\n"
      "Records go to standard output, one a line, flushed as each answer arrives; failures and the\n"
      "summary (requests, answered, failed, latency p50/p99) to standard error.\n"
      "Exit status: 0 every request answered, 1 some were not, 2 usage error, 3 the port cannot be\n"
      "opened at the start.");
}

}  // namespace kelvo_cli
