#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include "codec/requests.h"
#include "profile/profile_choice.h"

namespace kelvo_monitor {
namespace {

// A whole decimal number within [low, high], or none.
std::optional<qint64> ReadNumber(const QString& text, qint64 low, qint64 high) {
  bool ok = false;
  const qint64 value = text.toLongLong(&ok, 10);
  if (!ok || text.trimmed() != text || value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Watches a battery-management unit: polls command 42 and shows its answers live.\n"
      "Example: kelvo-monitor --port /dev/ttyUSB0 --baud 9600 --interval 500 --record log.csv"));
  const QCommandLineOption help_option = parser.addHelpOption();
  const QCommandLineOption version_option = parser.addVersionOption();
  const QCommandLineOption port({QStringLiteral("port")},
                                QStringLiteral("Connect at once to P: a device path or tcp://HOST:PORT."),
                                QStringLiteral("P"));
  const QCommandLineOption baud({QStringLiteral("baud")},
                                QStringLiteral("Baud rate (default 9600; ignored for tcp://)."),
                                QStringLiteral("N"));
  const QCommandLineOption address({QStringLiteral("address")},
                                   QStringLiteral("Unit address %1-%2 (default 0).")
                                       .arg(codec::kLowestAddress)
                                       .arg(codec::kHighestAddress),
                                   QStringLiteral("N"));
  const QCommandLineOption interval({QStringLiteral("interval")},
                                    QStringLiteral("Milliseconds from one poll to the next (default 1000)."),
                                    QStringLiteral("MS"));
  const QCommandLineOption record({QStringLiteral("record")},
                                  QStringLiteral("Write every valid answer to FILE as CSV."),
                                  QStringLiteral("FILE"));
  const QCommandLineOption profile(
      {QStringLiteral("profile")},
      QStringLiteral("Unit profile (a TOML file) that gives answers their values in "
                     "units, or none (default: the default profile)."),
      QStringLiteral("FILE|none"));
  const QCommandLineOption alarms(
      {QStringLiteral("alarms")},
      QStringLiteral("Alarm rules ([[alarm]] tables in a TOML file) on the profile's values, "
                     "checked on every answer (the unit's offline alarm stands without them)."),
      QStringLiteral("FILE"));
  parser.addOptions({port, baud, address, interval, record, profile, alarms});

  CommandLine result;
  auto fail = [&](const QString& message) {
    result.exit_code = 2;
    result.output = QStringLiteral("kelvo-monitor: %1\nTry 'kelvo-monitor --help'.\n").arg(message);
    return result;
  };
  if (!parser.parse(arguments)) return fail(parser.errorText());
  if (parser.isSet(help_option)) {
    result.output = parser.helpText();
    return result;
  }
  if (parser.isSet(version_option)) {
    result.output = QStringLiteral("kelvo-monitor %1\n").arg(QCoreApplication::applicationVersion());
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    return fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
  }

  MonitorOptions options;
  if (parser.isSet(port)) {
    if (parser.value(port).isEmpty())
      return fail(QStringLiteral("--port needs a device path or tcp://HOST:PORT"));
    options.port = parser.value(port);
  }
  if (parser.isSet(baud)) {
    const auto n = ReadNumber(parser.value(baud), 1, 4'000'000);
    if (!n)
      return fail(QStringLiteral("--baud '%1' is not a rate from 1 to 4000000").arg(parser.value(baud)));
    options.baud = static_cast<qint32>(*n);
  }
  if (parser.isSet(address)) {
    const auto n = ReadNumber(parser.value(address), codec::kLowestAddress, codec::kHighestAddress);
    if (!n) {
      return fail(QStringLiteral("--address '%1' is not a number from %2 to %3")
                      .arg(parser.value(address))
                      .arg(codec::kLowestAddress)
                      .arg(codec::kHighestAddress));
    }
    options.address = static_cast<int>(*n);
  }
  if (parser.isSet(interval)) {
    const auto n = ReadNumber(parser.value(interval), kMinIntervalMs, kMaxIntervalMs);
    if (!n) {
      return fail(QStringLiteral("--interval '%1' is not a number of milliseconds from %2 to %3")
                      .arg(parser.value(interval))
                      .arg(kMinIntervalMs)
                      .arg(kMaxIntervalMs));
    }
    options.interval_ms = static_cast<int>(*n);
  }
  if (parser.isSet(record)) {
    if (parser.value(record).isEmpty()) return fail(QStringLiteral("--record needs a file name"));
    options.record = parser.value(record);
  }
  // Read when the window starts, so that a refused profile is said as kelvo-frame says it.
  if (parser.isSet(profile)) options.profile = parser.value(profile);
  if (parser.isSet(alarms)) {
    if (parser.value(alarms).isEmpty()) return fail(QStringLiteral("--alarms needs a file name"));
    if (options.profile == QString::fromLatin1(kelvo_profile::kNoProfile))
      return fail(QStringLiteral("--alarms watches the profile's values, and --profile none turns them off"));
    options.alarms = parser.value(alarms);
  }
  result.options = options;
  return result;
}

}  // namespace kelvo_monitor
