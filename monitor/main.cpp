// kelvo-monitor: a live window on a battery-management unit.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <csignal>
#include <cstdio>
#include <optional>

#include "command_line.h"
#include "monitor_settings.h"
#include "monitor_window.h"
#include "system/process_signals.h"

#ifdef KVZ_EXIT_AT_FIRST_PAINT
#include "first_paint_exit_any.h"
#endif

#ifdef KVZ_FULL_HISTORY
#include <QDateTime>
#include <chrono>

#include "codec/request_builder.h"
#include "sim/simulated_unit.h"
#include "trend_charts.h"
#endif

namespace {

#ifdef KVZ_FULL_HISTORY
// For the benchmark: the trend history filled to capacity with a simulated
// unit's answers, one a second up to now, all of it in view.
void FillHistory(kelvo_monitor::MonitorWindow& window) {
  auto* trends = window.findChild<kelvo_monitor::TrendCharts*>();
  kelvo_sim::SimulatedUnit unit({0}, {}, 1);
  const auto start = std::chrono::steady_clock::now();
  const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
  const std::string request = codec::EncodeRequest(0, "42", "6553F100");
  const auto count = static_cast<long>(kelvo_monitor::kHistoryCapacity);
  for (long i = 0; i < count; ++i) {
    const auto answer = unit.Answer(request, start + std::chrono::seconds(i));
    if (answer)
      trends->AddAnswer(now - static_cast<double>(count - i), kelvo_monitor::ReadAnswerFields(*answer));
  }
  trends->SetSpan(static_cast<double>(count));
}
#endif

void Print(std::FILE* to, const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), to);
  std::fflush(to);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef KVZ_EXIT_AT_FIRST_PAINT
  ExitAtFirstPaint();
#endif
  QCoreApplication::setOrganizationName(QStringLiteral("kelvo_vavo_zuru"));
  QCoreApplication::setApplicationName(QStringLiteral("kelvo-monitor"));
  QCoreApplication::setApplicationVersion(QStringLiteral(KVZ_VERSION));
  // The command line is read before any display is needed, so that --help and
  // usage errors work on a machine without one.
  std::optional<kelvo_monitor::MonitorOptions> parsed;
  {
    const QCoreApplication reader(argc, argv);
    const kelvo_monitor::CommandLine command_line =
        kelvo_monitor::ParseCommandLine(QCoreApplication::arguments());
    if (!command_line.options) {
      Print(command_line.exit_code ? stderr : stdout, command_line.output);
      return command_line.exit_code;
    }
    parsed = command_line.options;
  }
  const kelvo_monitor::MonitorOptions& options = *parsed;
  QApplication app(argc, argv);

  // The window speaks Chinese; other locales get the English translation.
  QTranslator translator;
  if (translator.load(QLocale(), QStringLiteral("kelvo_monitor"), QStringLiteral("_"),
                      QStringLiteral(":/i18n"))) {
    QApplication::installTranslator(&translator);
  }

  kelvo_monitor::MonitorSettings settings = kelvo_monitor::LoadSettings();
  if (options.port) {
    // A connection given on the command line is that connection: what is not
    // given takes the documented defaults, never an earlier session's values.
    const kelvo_monitor::MonitorSettings defaults;
    settings.port = *options.port;
    settings.baud = options.baud.value_or(defaults.baud);
    settings.address = options.address.value_or(defaults.address);
    settings.interval_ms = options.interval_ms.value_or(defaults.interval_ms);
  } else {
    if (options.baud) settings.baud = *options.baud;
    if (options.address) settings.address = *options.address;
    if (options.interval_ms) settings.interval_ms = *options.interval_ms;
  }

  kelvo_monitor::MonitorWindow window;
  window.Apply(settings);
#ifdef KVZ_FULL_HISTORY
  FillHistory(window);
#endif
  if (options.record) {
    QString why;
    if (!window.StartRecording(*options.record, &why)) {
      Print(stderr, QStringLiteral("kelvo-monitor: cannot record: %1\n").arg(why));
      return 1;
    }
  }
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
