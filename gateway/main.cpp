// kelvo-gateway: polls every unit on every bus and publishes to an MQTT broker.
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <csignal>
#include <iostream>
#include <string>

#include "gateway/check_report.h"
#include "gateway/gateway.h"
#include "gateway/gateway_config.h"
#include "system/process_signals.h"

namespace {

constexpr int kInvalid = 2;

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{"Polls every unit on every bus concurrently and publishes each answer to an MQTT broker.",
               "kelvo-gateway"};
  cli.set_version_flag("--version", "kelvo-gateway " KVZ_VERSION, "Print the version and exit");
  std::string path;
  bool check = false;
  cli.add_option("--config", path, "The TOML configuration file")->required();
  cli.add_flag("--check", check, "Check the configuration, print what would be polled, and exit");
  cli.footer(
      "Runs until SIGINT or SIGTERM; SIGHUP reads the configuration again.\n"
      "Exit status: 0 success, 1 failure, 2 usage error or a configuration that does not check.\n"
      "Example: kelvo-gateway --config /etc/kelvo/gateway.toml --check\n"
      "See kelvo-gateway(8) and kelvo-gateway.toml(5).");
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return cli.exit(e) == 0 ? 0 : kInvalid;
  }

  kelvo_gateway::ConfigResult loaded = kelvo_gateway::LoadGatewayConfig(path);
  if (!loaded.config) {
    std::cerr << "kelvo-gateway: " << loaded.error << '\n';
    return kInvalid;
  }
  if (check) {
    std::cout << kelvo_gateway::DescribeConfig(*loaded.config, path) << std::flush;
    return 0;
  }

  QCoreApplication app(argc, argv);
  kelvo_system::ProcessSignals signals_in({SIGINT, SIGTERM, SIGHUP});
  kelvo_gateway::Gateway gateway(std::move(*loaded.config), path);
  QObject::connect(&signals_in, &kelvo_system::ProcessSignals::received, &gateway, [&gateway](int number) {
    if (number == SIGHUP) {
      gateway.Reload();
    } else {
      gateway.Shutdown();
    }
  });
  QObject::connect(&gateway, &kelvo_gateway::Gateway::finished, &app, &QCoreApplication::quit);
  gateway.Start();
  return QCoreApplication::exec();
}
