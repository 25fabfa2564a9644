// Acting on modal boxes from a timer, so that a test never waits on one.
#pragma once

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <utility>

// What a message box showed.
struct BoxSeen {
  bool shown = false;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QWidget* owner = nullptr;
};

// Calls `act` with the next modal widget other than `except` once it is up
// (polling for two seconds at most). `act` must close it.
inline void OnNextModal(std::function<void(QWidget*)> act, QWidget* except = nullptr, int triesLeft = 200) {
  QTimer::singleShot(10, [act = std::move(act), except, triesLeft]() mutable {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != except) {
      act(modal);
    } else if (triesLeft > 0) {
      OnNextModal(std::move(act), except, triesLeft - 1);
    }
  });
}

// Calls `act` with the popup menu once it is up (polling for two seconds at
// most). `act` must close it.
inline void OnNextPopup(std::function<void(QMenu*)> act, int triesLeft = 200) {
  QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      act(menu);
    } else if (triesLeft > 0) {
      OnNextPopup(std::move(act), triesLeft - 1);
    }
  });
}

// Records the next message box into `seen` and presses its OK button.
inline void DismissNextBox(BoxSeen& seen, QWidget* except = nullptr) {
  OnNextModal(
      [&seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
          modal->close();
          return;
        }
        seen = {true, box->windowTitle(), box->text(), box->icon(), box->parentWidget()};
        box->button(QMessageBox::Ok)->click();
      },
      except);
}
