#include "framework/application.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <new>
#include <stdexcept>

#include "framework/dialog.h"

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

NetworkLibrary* g_network = nullptr;

NetworkLibrary& Network() {
  static NetworkLibrary platform;
  return g_network ? *g_network : platform;
}

}  // namespace

Application::Application(const ResourceSet& resources) {
  s_current = this;
  UseResources(&resources);
}

Application::~Application() {
  if (s_current == this) s_current = nullptr;
}

bool Application::InitInstance() {
  // Resources always come from the program itself: no language library
  // ships beside it.
  return true;
}

QString Application::AppName() const {
  return QFileInfo(m_programPath).completeBaseName();
}

QString Application::HelpFilePath() const {
  const QFileInfo program(m_programPath);
  return QDir(program.path()).filePath(program.completeBaseName() + QStringLiteral(".HLP"));
}

bool Application::OnMessage(const Message& m) {
  m_messageSource = m.source;
  if (m.kind == MessageKind::Command && m.id == kIdHelp) {
    OnHelp();
    return true;
  }
  return false;
}

void Application::OnHelp() {
  // The dialog that holds the keyboard focus gives the context: the one
  // whose key asked for help, else the active one, else the main window.
  const Dialog* focus = m_messageSource;
  if (!focus) {
    if (const auto* window = dynamic_cast<DialogWindow*>(QApplication::activeWindow()))
      focus = &window->Owner();
  }
  if (!focus) focus = m_mainWindow;
  const unsigned context = 0x20000u + static_cast<unsigned>(focus ? focus->TemplateId() : 0);
  if (!LaunchHelp(HelpFilePath(), context)) {
    ShowMessage(focus ? focus->Window() : nullptr, LoadString(kIdsHelpFailed), BoxIcon::Exclamation);
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

bool NetworkLibrary::Startup(std::uint16_t requested, std::uint16_t& granted) {
  // Nothing to start on this platform: every version asked for is there.
  granted = requested;
  return true;
}

void SetNetworkLibrary(NetworkLibrary* library) noexcept {
  g_network = library;
}

bool InitSockets() {
  constexpr std::uint16_t kVersion11 = 0x0101;
  NetworkLibrary& net = Network();
  std::uint16_t granted = 0;
  if (!net.Startup(kVersion11, granted)) return false;
  if (granted != kVersion11) {
    net.Cleanup();
    net.SetLastError(kNetworkVersionNotSupported);
    return false;
  }
  return true;
}

void ShowMessage(QWidget* owner, const QString& text, BoxIcon icon) noexcept {
  try {
    const Application* app = Application::Current();
    QMessageBox box(icon == BoxIcon::Stop ? QMessageBox::Critical : QMessageBox::Warning,
                    app ? app->AppName() : QString(), text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
  } catch (...) {
    // Nothing is left to report with.
  }
}

QString StatusText(std::uint32_t status) {
  // No system message table here: the codes the program raises are
  // described in the window's language, the others not at all.
  if (status == kStatusInvalidArgument) return QStringLiteral(u"参数错误。");
  return {};
}

void ReportCurrentFailure(QWidget* owner) noexcept {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      ShowMessage(owner, LoadString(kIdsOutOfMemory), BoxIcon::Exclamation);
    } catch (const std::invalid_argument&) {
      // The invalid-argument failure carries E_INVALIDARG.
      QString text = StatusText(kStatusInvalidArgument);
      ShowMessage(owner, text.isEmpty() ? LoadString(kIdsInternalFailure) : text, BoxIcon::Stop);
    } catch (...) {
      ShowMessage(owner, LoadString(kIdsInternalFailure), BoxIcon::Stop);
    }
  } catch (...) {
    // Reporting itself failed; the message still counts as handled.
  }
}

}  // namespace fw
