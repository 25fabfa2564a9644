#include "monitor_main.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <optional>

#include "alarm_rules_file.h"
#include "command_line.h"
#include "display_check.h"
#include "monitor_settings.h"
#include "monitor_window.h"
#include "system/process_signals.h"
#include "window_profile.h"

namespace kelvo_monitor {
namespace {

void Print(std::FILE* to, const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
  std::fflush(to);
}

// The remembered settings with what the command line gives put over them.
MonitorSettings StartingSettings(const MonitorOptions& options) {
  MonitorSettings settings = LoadSettings();
  if (options.port) {
    // A connection given on the command line is that connection: what is not
    // given takes the documented defaults, never an earlier session's values.
    const MonitorSettings defaults;
    settings.port = *options.port;
    settings.baud = options.baud.value_or(defaults.baud);
    settings.address = options.address.value_or(defaults.address);
    settings.interval_ms = options.interval_ms.value_or(defaults.interval_ms);
  } else {
    if (options.baud) settings.baud = *options.baud;
    if (options.address) settings.address = *options.address;
    if (options.interval_ms) settings.interval_ms = *options.interval_ms;
  }
  return settings;
}

}  // namespace

int RunMonitor(int argc, char** argv, const PrepareWindow& prepare) {
  QCoreApplication::setOrganizationName(QStringLiteral("kelvo_vavo_zuru"));
  QCoreApplication::setApplicationName(QStringLiteral("kelvo-monitor"));
  QCoreApplication::setApplicationVersion(QStringLiteral(KVZ_VERSION));
  // The command line is read before any display is needed, so that --help and
  // usage errors work on a machine without one.
  std::optional<MonitorOptions> parsed;
  {
    const QCoreApplication reader(argc, argv);
    const CommandLine command_line = ParseCommandLine(QCoreApplication::arguments());
    if (!command_line.options) {
      Print(command_line.exit_code ? stderr : stdout, command_line.output);
      return command_line.exit_code;
    }
    parsed = command_line.options;
  }
  const MonitorOptions& options = *parsed;
  // A refused profile stops the start, before any display is needed.
  QString refused;
  std::optional<WindowProfile> profile = LoadWindowProfile(options.profile.value_or(QString()), &refused);
  if (!profile) {
    Print(stderr, QStringLiteral("kelvo-monitor: %1\n").arg(refused));
    return 2;
  }
  // So do refused alarm rules, checked against that profile.
  std::shared_ptr<const kelvo_alarms::AlarmRules> rules = NoAlarmRules();
  if (options.alarms) {
    rules = LoadAlarmRulesFile(*options.alarms, profile->profile.get(), &refused);
    if (!rules) {
      Print(stderr, QStringLiteral("kelvo-monitor: %1\n").arg(refused));
      return 2;
    }
  }
  const std::unique_ptr<QApplication> app = StartApplicationOrExplain(argc, argv);

  // The window speaks Chinese; other locales get the English translation.
  QTranslator translator;
  if (translator.load(QLocale(), QStringLiteral("kelvo_monitor"), QStringLiteral("_"),
                      QStringLiteral(":/i18n"))) {
    QApplication::installTranslator(&translator);
  }

  MonitorWindow window;
  window.SetProfile(std::move(*profile));
  window.SetAlarmRules(options.alarms.value_or(QString()), std::move(rules));
  window.Apply(StartingSettings(options));
  if (prepare) prepare(window);
  if (options.record) {
    QString why;
    if (!window.StartRecording(*options.record, &why)) {
      Print(stderr, QStringLiteral("kelvo-monitor: cannot record: %1\n").arg(why));
      return 1;
    }
  }
  QObject::connect(&window, &MonitorWindow::recordingFailed, [](const QString& why) {
    Print(stderr, QStringLiteral("kelvo-monitor: recording stopped: %1\n").arg(why));
  });
  kelvo_system::ProcessSignals signals_watch({SIGINT, SIGTERM});
  // Closing saves the settings and ends the recording whole; quit then leaves
  // every event loop, a dialog's included.
  QObject::connect(
      &signals_watch, &kelvo_system::ProcessSignals::received, &window,
      [&window] {
        window.close();
        QApplication::quit();
      },
      Qt::SingleShotConnection);
  window.show();
  if (options.port) window.Connect();
  return QApplication::exec();
}

}  // namespace kelvo_monitor
