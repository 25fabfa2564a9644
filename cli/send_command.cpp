#include "cli/send_command.h"

#include <QPointer>
#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/event_loop.h"
#include "cli/link_options.h"
#include "cli/output.h"
#include "codec/frame_breakdown.h"
#include "codec/request_builder.h"
#include "link/link_client.h"
#include "records/frame_json.h"
#include "system/process_signals.h"
#include "text/gbk_text.h"

namespace kelvo_cli {
namespace {

struct SendOptions {
  PortOptions port;
  ExchangeOptions exchange;
  bool json = false;
  std::string address;
  std::string command;
  std::string payload;
};

void WriteLine(int fd, const std::string& text) {
  Output output(fd);
  output.Text() = text + '\n';
  output.Flush();
}

std::string AnswerText(const QByteArray& answer, bool json) {
  const std::string frame = answer.toStdString();
  if (json) {
    const nlohmann::ordered_json object{{"frame", frame}, {"items", kelvo_records::JsonItems(frame)}};
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
  kelvo_text::GbkToUtf8 utf8;
  return utf8.Convert(codec::AnnotateFrame(frame));
}

int Run(const SendOptions& options, const Streams& io) {
  const std::string request =
      codec::EncodeRequest(*ParseAddress(options.address), options.command, options.payload);
  if (request == codec::kLengthErrorText) {
    WriteLine(io.err, "kelvo-frame: " + std::string(codec::kLengthErrorText) + " (the payload is too long)");
    return kUsageError;
  }

  EventLoop loop;
  kelvo_system::ProcessSignals stop({SIGINT, SIGTERM});
  kelvo_link::LinkClient client(options.port.Settings());
  bool ended = false;              // once the loop ends, the cancelled exchange reports nothing
  client.SetReconnectInterval(0);  // one exchange: a loss is the end
  QObject::connect(
      &stop, &kelvo_system::ProcessSignals::received, &client,
      [&](int) {
        WriteLine(io.err, "kelvo-frame: interrupted");
        EventLoop::Quit(kNoAnswer);
      },
      Qt::SingleShotConnection);
  QObject::connect(&client, &kelvo_link::LinkClient::openFailed, &client,
                   [&](kelvo_link::LinkError, const QString& message) {
                     WriteLine(io.err, "kelvo-frame: cannot open " + message.toStdString());
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
              WriteLine(io.out, AnswerText(exchange->answer(), options.json));
              EventLoop::Quit(0);
              return;
            case kelvo_link::ExchangeResult::NoAnswer:
              WriteLine(io.err, "kelvo-frame: no valid answer after " + std::to_string(exchange->attempts()) +
                                    (exchange->attempts() == 1 ? " attempt: " : " attempts: ") +
                                    exchange->reason().toStdString());
              EventLoop::Quit(kNoAnswer);
              return;
            case kelvo_link::ExchangeResult::LinkDown:
            case kelvo_link::ExchangeResult::Cancelled:
              WriteLine(io.err, "kelvo-frame: " + exchange->reason().toStdString());
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
  send->add_flag("--json", options->json, "Print the answer as one JSON object: frame and items");
  send->add_option("ADDRESS", options->address, "Unit address, decimal (as encode takes it)")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& text) {
            return ParseAddress(text) ? std::string() : "not a 32-bit signed decimal integer: " + text;
          },
          "INT32", "ADDRESS"));
  send->add_option("COMMAND", options->command, "Command code, hexadecimal (as encode takes it)")->required();
  send->add_option("PAYLOAD", options->payload, "Payload characters, copied as they stand (default: none)");
  send->footer(
      "Example:\n"
      "  kelvo-frame send --port /dev/ttyUSB0 0 42 6757A1C0\n"
      "  kelvo-frame send --port tcp://192.168.1.50:4001 --json 0 65 0026\n"
      "Exit status: 0 a valid answer, 1 no valid answer after all attempts (the reason on standard\n"
      "error), 2 usage error, 3 link failure (port missing, busy, permission denied, TCP refused).");
}

}  // namespace kelvo_cli
