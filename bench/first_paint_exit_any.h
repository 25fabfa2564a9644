// For start-up measurements only: ends the process right after the first
// paint of any widget. A main window whose central widget covers it whole
// never paints itself, so the first painted widget is the moment the window
// is on screen.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstdlib>

class FirstWidgetPaintExit : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType()) {
      QTimer::singleShot(0, [] { std::_Exit(0); });
    }
    return false;
  }
};

// Call before the QApplication is made.
inline void ExitAtFirstPaint() {
  qAddPreRoutine([] { QCoreApplication::instance()->installEventFilter(new FirstWidgetPaintExit); });
}
