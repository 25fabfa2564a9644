#include "cli/link_options.h"

namespace kelvo_cli {

void AddPortOptions(CLI::App& command, PortOptions& options) {
  command
      .add_option("--port", options.port,
                  "Device path (/dev/ttyUSB0, /dev/pts/5, /dev/serial/by-id/...) or tcp://HOST:PORT")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& text) {
            QString why;
            return kelvo_link::ParsePortAddress(QString::fromStdString(text), &why) ? std::string()
                                                                                    : why.toStdString();
          },
          "PORT", "PORT"));
  command.add_option("--baud", options.baud, "Bits per second, 8N1, no flow control; ignored for tcp://")
      ->capture_default_str()
      ->check(CLI::Range(1, 4000000));
}

void AddExchangeOptions(CLI::App& command, ExchangeOptions& options) {
  command.add_option("--timeout", options.timeout_ms, "Milliseconds to wait for the answer, per attempt")
      ->capture_default_str()
      ->check(CLI::Range(1, 3600000));
  command.add_option("--retries", options.retries, "Attempts after the first when no valid answer comes")
      ->capture_default_str()
      ->check(CLI::Range(0, 100));
}

}  // namespace kelvo_cli
