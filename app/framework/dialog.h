// A dialog built from a template, run modally (or shown for a test), whose
// messages reach the handlers of its class's message table through one
// delivery point that catches and reports every failure.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/message_map.h"
#include "framework/resources.h"

class QFont;
class QMenu;

namespace fw {

class Dialog;

// Pixel size of one dialog unit: a quarter of the average character width
// (measured over A-Z and a-z, rounded) by an eighth of the character height.
struct DialogBaseUnits {
  int charWidth;
  int charHeight;
};
[[nodiscard]] DialogBaseUnits BaseUnitsOf(const QFont& font);
// A dialog-unit rectangle in pixels, each value rounded to the nearest.
[[nodiscard]] QRect ToPixels(const DluRect& r, DialogBaseUnits units);
// The font a template's face and size stand for on this desktop.
[[nodiscard]] QFont DialogFont(const DialogTemplate& t);

// Top-left corner that centres `size` over `over`, moved as little as
// needed to stay inside `workArea`.
[[nodiscard]] QPoint CentredPosition(QSize size, const QRect& over, const QRect& workArea);

// Where the icon stands in a minimized window's client area: half the
// spare room, rounded up, in signed integer division.
[[nodiscard]] QPoint MinimizedIconPosition(QSize client, QSize icon);

// The system menu the dialog carries itself: the desktop offers no way to
// add to the window manager's own.
class SystemMenu {
 public:
  struct Item {
    unsigned id;  // 0 for a separator
    QString text;
  };
  SystemMenu();
  void AppendSeparator();
  void AppendItem(unsigned id, const QString& text);
  [[nodiscard]] const std::vector<Item>& Items() const noexcept { return m_items; }

 private:
  std::vector<Item> m_items;
};

// The Qt window of a Dialog. Every event that the dialog's handlers answer
// is turned into a Message and delivered through Dialog::Deliver.
class DialogWindow : public QDialog {
 public:
  DialogWindow(Dialog& dialog, QWidget* parent, Qt::WindowFlags flags);
  [[nodiscard]] Dialog& Owner() const noexcept { return m_dialog; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  Dialog& m_dialog;
};

class Dialog {
 public:
  // Builds nothing yet: the window is made from template `templateId` by
  // RunModal or Create. `owner` (may be null) is disabled while this runs.
  explicit Dialog(int templateId, Dialog* owner = nullptr);
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

  [[nodiscard]] int TemplateId() const noexcept { return m_templateId; }
  [[nodiscard]] DialogWindow* Window() const noexcept { return m_window.get(); }
  [[nodiscard]] QWidget* GetDlgItem(int id) const;
  [[nodiscard]] SystemMenu* GetSystemMenu() noexcept { return m_window ? &m_systemMenu : nullptr; }
  // Opens the system menu at `globalPos` and delivers the command chosen.
  void TrackSystemMenu(QPoint globalPos);

  // The whole text of a box, in the system code page; multi-line boxes give
  // their line breaks as CR LF.
  [[nodiscard]] std::string GetDlgItemText(int id) const;
  // Replaces the whole text of a box with `text` (system code page).
  void SetDlgItemText(int id, std::string_view text);
  // The box's text read as a signed decimal integer: blanks may stand
  // before and after, one "-" may lead; anything else, an empty box or a
  // value out of the 32-bit range reads as 0.
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
  bool TranslateKey(QObject* target, QKeyEvent* key);
  [[nodiscard]] unsigned DefaultCommandId() const;

  int m_templateId;
  Dialog* m_owner;
  const DialogTemplate* m_template = nullptr;
  std::unique_ptr<DialogWindow> m_window;
  SystemMenu m_systemMenu;
};

}  // namespace fw
