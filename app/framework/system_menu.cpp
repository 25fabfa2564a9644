#include "framework/system_menu.h"

#include <QAction>
#include <QMenu>

#include "framework/message_map.h"

namespace fw {

SystemMenu::SystemMenu() {
  items_.push_back({kSysMove, QStringLiteral(u"移动(&M)")});
  items_.push_back({kSysClose, QStringLiteral(u"关闭(&C)\tAlt+F4")});
}

void SystemMenu::AppendSeparator() {
  items_.push_back({0, {}});
}

void SystemMenu::AppendItem(unsigned id, const QString& text) {
  items_.push_back({id, text});
}

unsigned SystemMenu::Track(QWidget* parent, QPoint global_pos) const {
  QMenu menu(parent);
  for (const Item& item : items_) {
    if (item.id == 0) {
      menu.addSeparator();
    } else {
      menu.addAction(item.text)->setData(item.id);
    }
  }
  const QAction* chosen = menu.exec(global_pos);
  return chosen ? chosen->data().toUInt() : 0;
}

}  // namespace fw
