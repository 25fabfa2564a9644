#include "framework/application.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <utility>

#include "framework/dialog.h"
#include "framework/dialog_window.h"
#include "framework/message_box.h"

namespace fw {
namespace {

HelpLauncher& Launcher() {
  static HelpLauncher launcher;
  return launcher;
}

bool LaunchHelp(const QString& file, unsigned context) {
  if (Launcher()) return Launcher()(file, context);
  // No viewer takes a context here: the file is opened at its start.
  return QFileInfo::exists(file) && QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

}  // namespace

Application::Application(const ResourceSet& resources) {
  UseResources(&resources);
}

Application::~Application() = default;

bool Application::InitInstance() {
  // Resources always come from the program itself: no language library
  // ships beside it.
  return true;
}

QString Application::appName() const {
  return QFileInfo(program_path_).completeBaseName();
}

QString Application::HelpFilePath() const {
  const QFileInfo program(program_path_);
  return QDir(program.path()).filePath(program.completeBaseName() + QStringLiteral(".HLP"));
}

bool Application::OnMessage(const Message& m) {
  message_source_ = m.source;
  if (m.kind == MessageKind::Command && m.id == kIdHelp) {
    OnHelp();
    return true;
  }
  return false;
}

void Application::OnHelp() {
  // The dialog that holds the keyboard focus gives the context: the one
  // whose key asked for help, else the active one, else the main window.
  const Dialog* focus = message_source_;
  if (!focus) {
    if (const auto* window = dynamic_cast<DialogWindow*>(QApplication::activeWindow()))
      focus = &window->owner();
  }
  if (!focus) focus = main_window_;
  const unsigned context = 0x20000u + static_cast<unsigned>(focus ? focus->templateId() : 0);
  if (!LaunchHelp(HelpFilePath(), context)) {
    ShowMessage(focus ? focus->window() : nullptr, LoadString(kIdsHelpFailed), BoxIcon::Exclamation);
  }
}

int AppMain(int argc, char** argv) {
  QApplication qt(argc, argv);
  Application* app = Application::Current();
  if (!app) return 1;
  app->SetProgramPath(QCoreApplication::applicationFilePath());
  bool loop = false;
  try {
    loop = app->InitInstance();
  } catch (...) {
    ReportCurrentFailure(nullptr);
  }
  return loop ? QApplication::exec() : 0;
}

void SetHelpLauncher(HelpLauncher launcher) {
  Launcher() = std::move(launcher);
}

}  // namespace fw
