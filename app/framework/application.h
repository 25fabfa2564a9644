// The application object: one per program, started by AppMain, whose
// instance initialisation says whether a message loop follows.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <span>

#include "framework/message_map.h"
#include "framework/resources.h"

class QWidget;

namespace fw {

class Dialog;

class Application {
 public:
  explicit Application(const ResourceSet& resources);
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The one instance, or null before it is constructed.
  [[nodiscard]] static Application* Current() noexcept { return s_current; }

  // Returns true when a message loop of the application is to follow, false
  // when the program is to end.
  virtual bool InitInstance();

  // The program file's name without its extension: the title of every
  // message box.
  [[nodiscard]] QString AppName() const;
  [[nodiscard]] const QString& ProgramPath() const noexcept { return m_programPath; }
  // The path the name and the help file are derived from; AppMain sets the
  // real one.
  void SetProgramPath(const QString& path) { m_programPath = path; }
  // The help file: the program file's path with ".HLP" for its extension.
  [[nodiscard]] QString HelpFilePath() const;

  // Records the name under which settings would be kept. None are.
  void SetSettingsName(const QString& name) { m_settingsName = name; }
  [[nodiscard]] const QString& SettingsName() const noexcept { return m_settingsName; }

  [[nodiscard]] Dialog* MainWindow() const noexcept { return m_mainWindow; }
  void SetMainWindow(Dialog* dialog) noexcept { m_mainWindow = dialog; }

  // Commands that no window handled; true when the table took it.
  virtual bool OnMessage(const Message& m);
  // Default help handling: opens the help file at the context of the
  // dialog that holds the focus, or says that help could not be started.
  void OnHelp();

 private:
  static inline Application* s_current = nullptr;
  QString m_programPath;
  QString m_settingsName;
  Dialog* m_mainWindow = nullptr;
  const Dialog* m_messageSource = nullptr;  // of the message being handled
};

// Runs the program: Qt's application, then the instance initialisation
// (inside the failure catch), then the application's loop if it asks for one.
int AppMain(int argc, char** argv);

// Opens `file` at help context `context`; false when that cannot be done.
using HelpLauncher = std::function<bool(const QString& file, unsigned context)>;
// Replaces the help launcher (tests watch what is asked for); an empty one
// restores the default, which fails when the file is missing.
void SetHelpLauncher(HelpLauncher launcher);

// The platform's network library, as far as start-up uses it.
class NetworkLibrary {
 public:
  virtual ~NetworkLibrary() = default;
  // Asks for `requested` (major in the low byte); true with the version
  // granted, or false when the library cannot start.
  virtual bool Startup(std::uint16_t requested, std::uint16_t& granted);
  virtual void Cleanup() {}
  virtual void SetLastError(int error) { m_lastError = error; }
  [[nodiscard]] int LastError() const noexcept { return m_lastError; }

 private:
  int m_lastError = 0;
};
// Replaces the network library (tests make it fail); null restores the
// default, which grants what is asked for.
void SetNetworkLibrary(NetworkLibrary* library) noexcept;

inline constexpr int kNetworkVersionNotSupported = 10092;
// Starts the network library at version 1.1; false when it fails or grants
// another version (then released again, with the last error set to 10092).
[[nodiscard]] bool InitSockets();

inline constexpr std::uint32_t kStatusInvalidArgument = 0x80070057;

enum class BoxIcon { Exclamation, Stop };
// A message box with one OK button, titled with the application name.
// Never throws: a box that cannot be shown is not shown.
void ShowMessage(QWidget* owner, const QString& text, BoxIcon icon) noexcept;

// The system's description of a status code; empty when it has none.
[[nodiscard]] QString StatusText(std::uint32_t status);

// Reports the failure being handled (call only inside a catch block).
void ReportCurrentFailure(QWidget* owner) noexcept;

}  // namespace fw
