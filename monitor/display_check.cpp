#include "display_check.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kelvo_monitor {
namespace {

struct HeldMessage {
  QtMsgType type;
  QString text;
};

// Filled only while the application starts, on the main thread.
std::vector<HeldMessage>* g_held_messages = nullptr;

QString DisplayProblem() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland")) {
    return QStringLiteral("the platform QT_QPA_PLATFORM=%1 could not start")
        .arg(QString::fromLocal8Bit(platform));
  }
  const QByteArray display = qgetenv("DISPLAY");
  const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
  if (display.isEmpty() && wayland.isEmpty())
    return QStringLiteral("DISPLAY and WAYLAND_DISPLAY are not set");
  if (!display.isEmpty())
    return QStringLiteral("DISPLAY=%1 cannot be reached").arg(QString::fromLocal8Bit(display));
  return QStringLiteral("WAYLAND_DISPLAY=%1 cannot be reached").arg(QString::fromLocal8Bit(wayland));
}

void HoldStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type != QtFatalMsg) {
    if (g_held_messages) g_held_messages->push_back({type, qFormatLogMessage(type, context, text)});
    return;
  }
  const QByteArray said = QStringLiteral(
                              "kelvo-monitor: no display found (%1).\n"
                              "Run it under a virtual display, for example:\n"
                              "  xvfb-run -a kelvo-monitor [OPTIONS]\n"
                              "or\n"
                              "  Xvfb :99 -screen 0 1280x800x24 -nolisten tcp &\n"
                              "  DISPLAY=:99 kelvo-monitor [OPTIONS]\n")
                              .arg(DisplayProblem())
                              .toLocal8Bit();
  std::fwrite(said.constData(), 1, static_cast<std::size_t>(said.size()), stderr);
  std::fflush(stderr);
  // Qt would abort next; nothing of the half-made application is worth unwinding.
  std::_Exit(1);
}

}  // namespace

std::unique_ptr<QApplication> StartApplicationOrExplain(int& argc, char** argv) {
  std::vector<HeldMessage> messages;
  g_held_messages = &messages;
  const QtMessageHandler previous = qInstallMessageHandler(HoldStartupMessage);
  auto app = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(previous);
  g_held_messages = nullptr;
  for (const HeldMessage& m : messages) {
    if (previous) {
      previous(m.type, QMessageLogContext(), m.text);
    } else {
      const QByteArray bytes = (m.text + QLatin1Char('\n')).toLocal8Bit();
      std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    }
  }
  return app;
}

}  // namespace kelvo_monitor
