// For start-up measurements only: ends the process right after the first
// paint of a top-level window, before anything else is handled.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

class FirstPaintExit : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
      QTimer::singleShot(0, [] { std::_Exit(0); });
    }
    return false;
  }
};

// Call before the QApplication is made.
inline void ExitAtFirstPaint() {
  qAddPreRoutine([] { QCoreApplication::instance()->installEventFilter(new FirstPaintExit); });
}
