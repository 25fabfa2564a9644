// The application object: one per program, started by AppMain, whose
// instance initialisation says whether a message loop follows.
#pragma once

#include <QString>
#include <functional>

#include "framework/application_services.h"
#include "framework/message_map.h"
#include "framework/resources.h"

namespace fw {

class Dialog;

class Application : public ApplicationServices {
 public:
  explicit Application(const ResourceSet& resources);
  virtual ~Application();

  // The one instance, or null before it is constructed.
  [[nodiscard]] static Application* Current() noexcept {
    return static_cast<Application*>(ApplicationServices::Current());
  }

  // Returns true when a message loop of the application is to follow, false
  // when the program is to end.
  virtual bool InitInstance();

  // The program file's name without its extension: the title of every
  // message box.
  [[nodiscard]] QString appName() const override;
  [[nodiscard]] const QString& programPath() const noexcept { return program_path_; }
  // The path the name and the help file are derived from; AppMain sets the
  // real one.
  void SetProgramPath(const QString& path) { program_path_ = path; }
  // The help file: the program file's path with ".HLP" for its extension.
  [[nodiscard]] QString HelpFilePath() const;

  // Records the name under which settings would be kept. None are.
  void SetSettingsName(const QString& name) { settings_name_ = name; }
  [[nodiscard]] const QString& settingsName() const noexcept { return settings_name_; }

  [[nodiscard]] Dialog* mainWindow() const noexcept override { return main_window_; }
  void SetMainWindow(Dialog* dialog) noexcept { main_window_ = dialog; }

  // Commands that no window handled; true when the table took it.
  bool OnMessage(const Message& m) override;
  // Default help handling: opens the help file at the context of the
  // dialog that holds the focus, or says that help could not be started.
  void OnHelp();

 private:
  QString program_path_;
  QString settings_name_;
  Dialog* main_window_ = nullptr;
  const Dialog* message_source_ = nullptr;  // of the message being handled
};

// Runs the program: Qt's application, then the instance initialisation
// (inside the failure catch), then the application's loop if it asks for one.
int AppMain(int argc, char** argv);

// Opens `file` at help context `context`; false when that cannot be done.
using HelpLauncher = std::function<bool(const QString& file, unsigned context)>;
// Replaces the help launcher (tests watch what is asked for); an empty one
// restores the default, which fails when the file is missing.
void SetHelpLauncher(HelpLauncher launcher);

}  // namespace fw
