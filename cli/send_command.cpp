#include "cli/send_command.h"

#include <QPointer>
#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/event_loop.h"
#include "cli/link_options.h"
#include "cli/message.h"
#include "cli/output.h"
#include "cli/profile_option.h"
#include "cli/request_check.h"
#include "codec/frame_breakdown.h"
#include "codec/requests.h"
#include "link/link_client.h"
#include "records/frame_json.h"
#include "records/profile_json.h"
#include "system/process_signals.h"
#include "text/gbk_text.h"

namespace kelvo_cli {
namespace {

struct SendOptions {
  PortOptions port;
  ExchangeOptions exchange;
  ProfileOption profile;
  bool json = false;
  bool force = false;
  std::string address;
  std::string command;
  std::optional<std::string> payload;
};

// Messages are best effort; the answer's write is checked. Never throws.
int WriteLine(int fd, const std::string& text) {
  Output output(fd, std::size_t{1} << 16, Output::OnError::Keep);
  output.Text() = text + '\n';
  output.Flush();
  return output.error();
}

std::string AnswerText(const QByteArray& answer, bool json, const kelvo_profile::Profile* profile) {
  const std::string frame = answer.toStdString();
  if (json) {
    nlohmann::ordered_json object{{"frame", frame}, {"items", kelvo_records::JsonItems(frame)}};
    if (profile != nullptr) {
      if (std::optional<nlohmann::ordered_json> values = kelvo_records::JsonValues(*profile, frame)) {
        object["values"] = std::move(*values);
      }
    }
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
  kelvo_text::GbkToUtf8 utf8;
  return utf8.Convert(codec::AnnotateFrame(frame));
}

int Run(const SendOptions& options, const Streams& io) {
  const std::string payload = options.payload.value_or(DefaultPayload(options.command));
  if (const std::optional<std::string> problem = RequestProblem(options.command, payload, options.force)) {
    (void)WriteLine(io.err, MessagePrefix() + *problem);
    return kUsageError;
  }
  const std::string request =
      codec::BuildRequest(*ParseAddress(options.address), options.command, payload).frame;
  const std::optional<CommandProfile> profile = LoadCommandProfile(options.profile, options.json, io.err);
  if (!profile) return kUsageError;

  EventLoop loop;
  kelvo_system::ProcessSignals stop({SIGINT, SIGTERM});
  kelvo_link::LinkClient client(options.port.Settings());
  bool ended = false;              // once the loop ends, the cancelled exchange reports nothing
  client.SetReconnectInterval(0);  // one exchange: a loss is the end
  QObject::connect(
      &stop, &kelvo_system::ProcessSignals::received, &client,
      [&](int signal_number) {
        (void)WriteLine(io.err, MessagePrefix() + "interrupted");
        EventLoop::Quit(kInterrupted + signal_number);
      },
      Qt::SingleShotConnection);
  QObject::connect(&client, &kelvo_link::LinkClient::openFailed, &client,
                   [&](kelvo_link::LinkError, const QString& message) {
                     (void)WriteLine(io.err, MessagePrefix() + "cannot open " + message.toStdString());
                     EventLoop::Quit(kLinkFailure);
                   });
  QObject::connect(
      &client, &kelvo_link::LinkClient::stateChanged, &client, [&](kelvo_link::LinkClient::State state) {
        if (state != kelvo_link::LinkClient::State::Open) return;
        kelvo_link::Exchange* exchange =
            client.Send(QByteArray::fromStdString(request), options.exchange.Request());
        QObject::connect(exchange, &kelvo_link::Exchange::finished, &client, [&, exchange] {
          exchange->deleteLater();
          if (ended) return;
          switch (exchange->result()) {
            case kelvo_link::ExchangeResult::Answered:
              if (const int error =
                      WriteLine(io.out, AnswerText(exchange->answer(), options.json, profile->get()))) {
                (void)WriteLine(io.err, MessagePrefix() + OutputFailureText(error));
                EventLoop::Quit(kOutputFailure);
                return;
              }
              EventLoop::Quit(kSuccess);
              return;
            case kelvo_link::ExchangeResult::NoAnswer:
              (void)WriteLine(io.err, MessagePrefix() + "no valid answer after " +
                                          std::to_string(exchange->attempts()) +
                                          (exchange->attempts() == 1 ? " attempt: " : " attempts: ") +
                                          exchange->reason().toStdString());
              EventLoop::Quit(kNoAnswer);
              return;
            case kelvo_link::ExchangeResult::LinkDown:
            case kelvo_link::ExchangeResult::Cancelled:
              (void)WriteLine(io.err, MessagePrefix() + exchange->reason().toStdString());
              EventLoop::Quit(kLinkFailure);
              return;
          }
        });
      });
  client.Open();
  const int status = loop.Run();
  ended = true;
  return status;
}

}  // namespace

void AddSendCommand(CommandRegistry& registry) {
  auto options = std::make_shared<SendOptions>();
  CLI::App* send = registry.Add("send", "Send one request to the unit and print its answer",
                                [options] { return Run(*options, Streams{}); });
  AddPortOptions(*send, options->port);
  AddExchangeOptions(*send, options->exchange);
  send->add_flag("--json", options->json, "Print the answer as one JSON object: frame, items and values");
  AddProfileOption(*send, options->profile);
  send->add_flag("--force", options->force,
                 "Send a payload that is not well formed or does not fit its command's layout");
  send->add_option("ADDRESS", options->address, "Unit address, decimal 0-255")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& text) {
            const std::optional<std::int32_t> address = ParseAddress(text);
            return address && codec::IsUnitAddress(*address) ? std::string()
                                                             : "not an address 0-255: " + text;
          },
          "ADDRESS", "ADDRESS"));
  send->add_option("COMMAND", options->command, "Command code: one byte of hexadecimal")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& text) {
            return IsCommandByte(text) ? std::string() : "not a command code of 1 or 2 hex digits: " + text;
          },
          "HEX", "COMMAND"));
  send->add_option("PAYLOAD", options->payload,
                   "Payload characters (default: none; for 42, the host time as 8 hex digits)");
  send->footer(
      "Example:\n"
      "  kelvo-frame send --port /dev/ttyUSB0 0 42 6757A1C0\n"
      "  kelvo-frame send --port tcp://192.168.1.50:4001 --json 0 65 0026\n"
      "Exit status: 0 answered, 1 no valid answer, 2 usage error or a refused request, 3 link\n"
      "failure, 4 output failed, 128+N stopped by signal N. See kelvo-frame(1).");
}

}  // namespace kelvo_cli
