#include "cli/ports_command.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/message.h"
#include "cli/output.h"
#include "link/serial_ports.h"

namespace kelvo_cli {
namespace {

std::string Hex4(quint16 id) {
  char text[5];
  std::snprintf(text, sizeof text, "%04x", id);
  return text;
}

nlohmann::ordered_json IdJson(const std::optional<quint16>& id) {
  return id ? nlohmann::ordered_json(*id) : nlohmann::ordered_json(nullptr);
}

int Run(bool json, const Streams& io) {
  const std::vector<kelvo_link::SerialPortEntry> ports = kelvo_link::ListSerialPorts();
  Output out(io.out);
  std::string& text = out.Text();
  if (json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const kelvo_link::SerialPortEntry& port : ports) {
      list.push_back({{"path", port.path.toStdString()},
                      {"description", port.description.toStdString()},
                      {"manufacturer", port.manufacturer.toStdString()},
                      {"serial", port.serial.toStdString()},
                      {"vid", IdJson(port.vid)},
                      {"pid", IdJson(port.pid)}});
    }
    text = list.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
  } else if (ports.empty()) {
    Output err(io.err);
    err.Text() =
        MessageLine("no serial ports found (a USB adapter shows up as /dev/ttyUSB* or /dev/ttyACM*)");
    err.Flush();
  }
  for (const kelvo_link::SerialPortEntry& port : json ? std::vector<kelvo_link::SerialPortEntry>() : ports) {
    text += port.path.toStdString();
    text += port.vid && port.pid ? "  " + Hex4(*port.vid) + ':' + Hex4(*port.pid) : std::string("  -");
    for (const QString& part : {port.description, port.manufacturer}) {
      if (!part.isEmpty()) text += "  " + part.toStdString();
    }
    if (!port.serial.isEmpty()) text += "  serial " + port.serial.toStdString();
    text += '\n';
  }
  out.Flush();
  return kSuccess;
}

}  // namespace

void AddPortsCommand(CommandRegistry& registry) {
  auto json = std::make_shared<bool>(false);
  CLI::App* ports = registry.Add("ports", "List the serial ports of this machine",
                                 [json] { return Run(*json, Streams{}); });
  ports->add_flag("--json", *json, "One JSON array: path, description, manufacturer, serial, vid, pid");
  ports->footer(
      "Example:\n"
      "  kelvo-frame ports\n"
      "Pseudo-terminals are not listed; an empty list is not an error. See kelvo-frame(1).");
}

}  // namespace kelvo_cli
