// How long the window takes to answer after a paste of SIZE characters on
// one line (no blanks, as a frame has none) into each box, and after Decode
// of what that paste leaves in the frame box, until the window is painted
// again. Offscreen; each run uses a fresh window.
//   kvz_paste_probe SIZE [RUNS]
// prints one line a measurement: "paste BOX MS HELD" or "decode IDC_FRAME MS
// BREAKDOWN", medians in milliseconds and the characters the box holds.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vavo_zuru_app.h"
#include "vavo_zuru_dlg.h"

namespace {

CVavoZuruApp g_app;

// The paste as a user makes it: Ctrl+V in the focused box, over its whole
// text.
void PressPaste(QWidget* box) {
  box->setFocus();
  if (auto* line = qobject_cast<QLineEdit*>(box)) line->selectAll();
  if (auto* edit = qobject_cast<QPlainTextEdit*>(box)) edit->selectAll();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
  QApplication::sendEvent(box, &press);
}

// Until every pending event is handled and the window is painted again.
void Settle(QWidget* window) {
  QApplication::processEvents();
  window->repaint();
  QApplication::processEvents();
}

qsizetype Held(QWidget* box) {
  if (auto* line = qobject_cast<QLineEdit*>(box)) return line->text().size();
  return static_cast<QPlainTextEdit*>(box)->toPlainText().size();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SIZE [RUNS]\n", argv[0]);
    return 2;
  }
  const qsizetype size = std::atoll(argv[1]);
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  // A frame's opening, then hexadecimal digits: what a wrong paste of a
  // capture looks like.
  QString text = QStringLiteral("<11300650400268D");
  while (text.size() < size) text += QStringLiteral("0123456789ABCDEF");
  text.truncate(size);

  for (const char* name : {"IDC_PAYLOAD", "IDC_FRAME", "IDC_DECODED", "IDC_ADDRESS"}) {
    std::vector<double> ms;
    qsizetype held = 0;
    for (int i = 0; i < runs; ++i) {
      CVavoZuruDlg dlg;
      if (!dlg.Create()) return 1;
      QWidget* box = dlg.window()->findChild<QWidget*>(QString::fromLatin1(name));
      QApplication::clipboard()->setText(text);
      Settle(dlg.window());
      QElapsedTimer timer;
      timer.start();
      PressPaste(box);
      Settle(dlg.window());
      ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
      held = Held(box);
    }
    std::printf("paste %s %.2f %lld\n", name, Median(ms), static_cast<long long>(held));
  }

  std::vector<double> ms;
  qsizetype held = 0;
  for (int i = 0; i < runs; ++i) {
    CVavoZuruDlg dlg;
    if (!dlg.Create()) return 1;
    QApplication::clipboard()->setText(text);
    PressPaste(dlg.window()->findChild<QWidget*>(QStringLiteral("IDC_FRAME")));
    Settle(dlg.window());
    QElapsedTimer timer;
    timer.start();
    dlg.window()->findChild<QPushButton*>(QStringLiteral("IDC_DECODE"))->click();
    Settle(dlg.window());
    ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    held = Held(dlg.window()->findChild<QWidget*>(QStringLiteral("IDC_DECODED")));
  }
  std::printf("decode IDC_FRAME %.2f %lld\n", Median(ms), static_cast<long long>(held));
  return 0;
}
