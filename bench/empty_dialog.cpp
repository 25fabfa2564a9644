// The yardstick for start-up: a Qt program that shows an empty dialog and
// ends at its first paint, as the start-up probe of the window does.
#include <QApplication>
#include <QDialog>

#include "first_paint_exit.h"

int main(int argc, char** argv) {
  ExitAtFirstPaint();
  QApplication app(argc, argv);
  QDialog dialog;
  return dialog.exec();
}
