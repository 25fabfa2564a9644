// The system menu the dialog carries itself: the desktop offers no way to
// add to the window manager's own.
#pragma once

#include <QPoint>
#include <QString>
#include <vector>

class QWidget;

namespace fw {

class SystemMenu {
 public:
  struct Item {
    unsigned id;  // 0 for a separator
    QString text;
  };
  // Move and Close, as every dialog's menu starts.
  SystemMenu();
  void AppendSeparator();
  void AppendItem(unsigned id, const QString& text);
  [[nodiscard]] const std::vector<Item>& items() const noexcept { return items_; }

  // Pops the menu up at `global_pos` over `parent` until the user chooses;
  // the command id chosen, or 0 when none is.
  [[nodiscard]] unsigned Track(QWidget* parent, QPoint global_pos) const;

 private:
  std::vector<Item> items_;
};

}  // namespace fw
