// The yardstick for kelvo-monitor's figures: an idle QMainWindow holding one
// empty chart of the same library. Built a second time with
// KVZ_EXIT_AT_FIRST_PAINT, it ends at its first paint.
#include <qcustomplot.h>

#include <QApplication>
#include <QMainWindow>

#ifdef KVZ_EXIT_AT_FIRST_PAINT
#include "first_paint_exit.h"
#endif

int main(int argc, char** argv) {
#ifdef KVZ_EXIT_AT_FIRST_PAINT
  ExitAtFirstWidgetPaint();
#endif
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("idle chart"));
  window.setCentralWidget(new QCustomPlot(&window));
  window.resize(1200, 800);
  window.show();
  return QApplication::exec();
}
