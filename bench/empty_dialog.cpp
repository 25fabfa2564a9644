// The yardstick for start-up: a Qt program that shows an empty dialog and
// ends at its first paint, as the start-up probe of the window does. Built
// a second time with KVZ_ONE_LABEL, it shows one word of text, which is what
// starting the font system costs.
#include <QApplication>
#include <QDialog>
#include <QLabel>

#include "first_paint_exit.h"

int main(int argc, char** argv) {
  ExitAtFirstPaint();
  QApplication app(argc, argv);
  QDialog dialog;
#ifdef KVZ_ONE_LABEL
  new QLabel(QStringLiteral("Address"), &dialog);
#endif
  return dialog.exec();
}
