// kelvo-monitor's command line:
//   kelvo-monitor [--port P] [--baud N] [--address N] [--interval MS] [--record FILE]
//                 [--profile FILE|none] [--alarms FILE]
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kelvo_monitor {

// What the command line asked for; an option not given is none, and the
// remembered settings fill it in.
struct MonitorOptions {
  std::optional<QString> port;  // given: connect at once
  std::optional<qint32> baud;
  std::optional<int> address;      // 0-255
  std::optional<int> interval_ms;  // kMinIntervalMs and up
  std::optional<QString> record;   // CSV file to write every valid answer to
  std::optional<QString> profile;  // the unit profile's file, or "none"; not given: the default
  std::optional<QString> alarms;   // a file of [[alarm]] rules on the profile's values
};

inline constexpr int kMinIntervalMs = 10;
inline constexpr int kMaxIntervalMs = 24 * 60 * 60 * 1000;

struct CommandLine {
  std::optional<MonitorOptions> options;  // none: end at once with exit_code
  int exit_code = 0;                      // 0 after --help / --version, 2 on a usage error
  QString output;                         // the help or version text, or the error message
};

// Reads `arguments` (the program name first). Never exits the process.
[[nodiscard]] CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace kelvo_monitor
