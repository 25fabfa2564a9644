// A dialog built from a template, run modally (or shown for a test), whose
// messages reach the handlers of its class's message table through one
// delivery point that catches and reports every failure.
#pragma once

#include <QIcon>
#include <QPoint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/dialog_window.h"
#include "framework/message_map.h"
#include "framework/resources.h"
#include "framework/system_menu.h"

class QKeyEvent;
class QObject;

namespace fw {

class Dialog {
 public:
  // Builds nothing yet: the window is made from template `template_id` by
  // RunModal or Create. `owner` (may be null) is disabled while this runs.
  explicit Dialog(int template_id, Dialog* owner = nullptr);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Builds, initialises, centres and runs the window until it ends; returns
  // its result (kIdOk, kIdCancel), or -1 when the template is missing.
  int RunModal();
  // Builds, initialises, centres and shows the window without a modal loop.
  bool Create();

  // The one delivery point: calls the handler, and reports any failure it
  // raises in a message box owned by this window. Never throws.
  bool Deliver(const Message& m) noexcept;

  [[nodiscard]] int templateId() const noexcept { return m_templateId; }
  [[nodiscard]] DialogWindow* window() const noexcept { return m_window.get(); }
  [[nodiscard]] QWidget* GetDlgItem(int id) const;
  [[nodiscard]] SystemMenu* GetSystemMenu() noexcept { return m_window ? &m_systemMenu : nullptr; }
  // Opens the system menu at `global_pos` and delivers the command chosen.
  void TrackSystemMenu(QPoint global_pos);

  // The whole text of a box, in the system code page; multi-line boxes give
  // their line breaks as CR LF.
  [[nodiscard]] std::string GetDlgItemText(int id) const;
  // Replaces the whole text of a box with `text` (system code page).
  void SetDlgItemText(int id, std::string_view text);
  // The box's text read as a signed decimal integer (ParseDialogInt).
  [[nodiscard]] int GetDlgItemInt(int id) const;

 protected:
  // Dispatch of this class: derived classes route through their own table
  // first and hand the rest to their base.
  virtual bool OnMessage(const Message& m);
  // Runs once the window and its controls exist, before it is first shown.
  // True gives the focus to the first tab stop.
  virtual bool OnInitialise();
  virtual void OnOk();
  virtual void OnCancel();
  void OnPaint() {}
  void End(int result);
  void SetIcon(const QIcon& icon, bool big);
  [[nodiscard]] bool IsIconic() const;
  // Default handling of system commands: Close issues Cancel; Move hands the
  // window to the window manager.
  void DefaultSysCommand(unsigned id, QPoint point);

 private:
  friend class DialogWindow;
  bool Build();
  void Initialise();
  // The dialog's answer to a key pressed on `target`; false when the
  // control is to handle it.
  bool HandleKey(QObject* target, QKeyEvent* key);
  [[nodiscard]] unsigned DefaultCommandId() const;

  int m_templateId;
  Dialog* m_owner;
  const DialogTemplate* m_template = nullptr;
  std::unique_ptr<DialogWindow> m_window;
  SystemMenu m_systemMenu;
};

}  // namespace fw
