#include "cli/simulate_command.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <chrono>
#include <csignal>
#include <random>

#include "cli/event_loop.h"
#include "cli/exit_status.h"
#include "cli/message.h"
#include "cli/output.h"
#include "codec/address_list.h"
#include "sim/faults.h"
#include "sim/simulated_unit.h"
#include "sim/unit_server.h"
#include "system/process_signals.h"

namespace kelvo_cli {
namespace {

void Say(const Streams& io, const std::string& line) {
  Output err(io.err);
  err.Text() = MessageLine(line, "simulate");
  err.Flush();
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

// "0", "1-3 and 60": the addresses as a person reads them back.
std::string AddressText(const std::vector<int>& addresses) {
  std::string text;
  for (std::size_t i = 0; i < addresses.size();) {
    std::size_t j = i;
    while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1) ++j;
    if (!text.empty()) text += ',';
    text += std::to_string(addresses[i]);
    if (j > i) text += '-' + std::to_string(addresses[j]);
    i = j + 1;
  }
  return text;
}

}  // namespace

CLI::App* AddSimulateCommand(CLI::App& app, SimulateOptions& options) {
  CLI::App* simulate = app.add_subcommand(
      "simulate",
      "Run a simulated battery unit: on a new pseudo-terminal (its path is the first line printed), on a "
      "serial device, or on a TCP port");
  CLI::Option* port =
      simulate
          ->add_option("--port", options.port, "Serve this serial device (one end of a socat pty pair, say)")
          ->check(CLI::Validator(
              [](const std::string& text) {
                return text.empty() ? "the device path is empty" : std::string();
              },
              "PATH", "PATH"));
  simulate->add_option("--listen", options.listen, "Serve tcp://HOST:PORT instead; port 0 picks a free one")
      ->excludes(port)
      ->check(CLI::Validator(
          [](const std::string& text) {
            const std::optional<QString> problem =
                kelvo_sim::ListenAddressProblem(QString::fromStdString(text));
            return problem ? problem->toStdString() : std::string();
          },
          "tcp://HOST:PORT", "ADDRESS"));
  simulate
      ->add_option(
          "--address", options.addresses,
          "Addresses answered, each with its own battery: numbers and ranges, as 1-50,60 (default 0)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            std::string why;
            return codec::ParseAddressList(text, &why) ? std::string() : why;
          },
          "LIST", "LIST"));
  simulate->add_option("--cells", options.cells, "Cells in series (default 16)");
  simulate->add_option("--sensors", options.sensors, "Temperature sensors (default 4)");
  simulate
      ->add_option(
          "--fault", options.faults,
          "Misbehave, repeatable: drop=P, corrupt=P, wrong-address=P (P from 0 to 1), delay=MS, split, "
          "noise, echo")
      ->check(CLI::Validator(
          [](const std::string& text) {
            kelvo_sim::Faults faults;
            std::string why;
            return kelvo_sim::ParseFault(text, faults, &why) ? std::string() : why;
          },
          "NAME[=VALUE]", "FAULT"));
  simulate
      ->add_option("--seed", options.seed, "Seed of the faults' random draws: the same seed repeats a run")
      ->check(CLI::Validator(
          [](const std::string& text) {
            std::uint64_t value = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            return !text.empty() && error == std::errc() && end == text.data() + text.size()
                       ? std::string()
                       : "not a whole number from 0 to 18446744073709551615: " + text;
          },
          "SEED", "SEED"));
  simulate->footer(
      "Example:\n"
      "  kelvo-frame simulate --address 1-3 --fault drop=0.1 --seed 7\n"
      "  /dev/pts/5                     <- connect here, e.g. kelvo-frame send --port /dev/pts/5 1 42\n"
      "Exit status: 0 stopped by a signal, 2 usage error, 3 the line cannot be opened or was lost.\n"
      "See kelvo-frame(1).");
  return simulate;
}

int RunSimulate(const SimulateOptions& options, const Streams& io) {
  const std::vector<int> addresses = *codec::ParseAddressList(options.addresses);
  kelvo_sim::Faults faults;
  for (const std::string& fault : options.faults) (void)kelvo_sim::ParseFault(fault, faults);
  kelvo_sim::BatteryConfig config{options.cells, options.sensors};
  if (const auto reason = kelvo_sim::SimulatedUnit::CheckConfig(config)) {
    Say(io, *reason);
    return kUsageError;
  }
  config.clock_start = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
          .count());
  const std::uint64_t seed = options.seed ? *options.seed : std::random_device{}();

  EventLoop loop;
  kelvo_system::ProcessSignals stop({SIGINT, SIGTERM});
  QObject::connect(&stop, &kelvo_system::ProcessSignals::received, [] { EventLoop::Quit(kSuccess); });

  kelvo_sim::UnitServer server(kelvo_sim::SimulatedUnit(addresses, config, seed), faults);
  std::size_t requests = 0;
  std::size_t answers = 0;
  QObject::connect(&server, &kelvo_sim::UnitServer::requestSeen, [&requests] { ++requests; });
  QObject::connect(&server, &kelvo_sim::UnitServer::answerSent, [&answers] { ++answers; });
  QObject::connect(&server, &kelvo_sim::UnitServer::lineLost, &server, [&io](const QString& message) {
    Say(io, "line lost: " + message.toStdString());
    EventLoop::Quit(kLinkFailure);
  });

  QString where;
  const bool serving = !options.listen.empty() ? server.Listen(QString::fromStdString(options.listen))
                       : !options.port.empty() ? server.ServeDevice(QString::fromStdString(options.port))
                                               : server.ServePty(&where);
  if (!serving) {
    Say(io, server.errorString().toStdString());
    return kLinkFailure;
  }
  if (!options.listen.empty()) where = server.listenAddress();
  if (!options.port.empty()) where = QString::fromStdString(options.port);

  Output out(io.out);
  out.Text() = where.toStdString() + '\n';
  out.Flush();
  Say(io, "answering at address " + AddressText(addresses) + " (" + Plural(config.cells, "cell", "cells") +
              ", " + Plural(config.sensors, "sensor", "sensors") + "), seed " + std::to_string(seed) +
              "; stop with Ctrl+C");

  const int status = loop.Run();
  Say(io, "stopped: " + Plural(requests, "frame", "frames") + " received, " +
              Plural(answers, "answer", "answers") + " sent");
  return status;
}

}  // namespace kelvo_cli
