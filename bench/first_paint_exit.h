// For start-up measurements only: ends the process right after a first
// paint, before anything else is handled. Call before the QApplication is
// made.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

class FirstPaintExit : public QObject {
 public:
  explicit FirstPaintExit(bool windows_only) : windows_only_(windows_only) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType() &&
        (!windows_only_ || static_cast<QWidget*>(watched)->isWindow())) {
      QTimer::singleShot(0, [] { std::_Exit(0); });
    }
    return false;
  }

 private:
  bool windows_only_;
};

// Ends at the first paint of a top-level window: a dialog paints itself.
inline void ExitAtFirstPaint() {
  qAddPreRoutine([] { QCoreApplication::instance()->installEventFilter(new FirstPaintExit(true)); });
}

// Ends at the first paint of any widget: a main window whose central widget
// covers it whole never paints itself, so the first painted widget is the
// moment the window is on screen.
inline void ExitAtFirstWidgetPaint() {
  qAddPreRoutine([] { QCoreApplication::instance()->installEventFilter(new FirstPaintExit(false)); });
}
