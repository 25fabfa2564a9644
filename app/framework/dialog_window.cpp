#include "framework/dialog_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>

#include "framework/box_text.h"
#include "framework/dialog.h"

namespace fw {

DialogWindow::DialogWindow(Dialog& dialog, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), m_dialog(dialog) {}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) return m_dialog.HandleKey(watched, static_cast<QKeyEvent*>(event));
  if (event->type() == QEvent::FocusIn) {
    // A box that gets the focus from the keyboard has its whole text selected.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    auto* widget = qobject_cast<QWidget*>(watched);
    if (KindOf(widget) == BoxKind::MultiLineEdit &&
        (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)) {
      SelectAllText(widget);
    }
  }
  return false;
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  if (!m_dialog.HandleKey(this, event)) event->ignore();
}

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The close box is a system command like any other.
  event->ignore();
  m_dialog.Deliver({MessageKind::SysCommand, kSysClose, {}, &m_dialog});
}

void DialogWindow::paintEvent(QPaintEvent* event) {
  if (!m_dialog.Deliver({MessageKind::Paint, 0, {}, &m_dialog})) QDialog::paintEvent(event);
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
  m_dialog.TrackSystemMenu(event->globalPos());
}

}  // namespace fw
