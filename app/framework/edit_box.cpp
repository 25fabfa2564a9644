#include "framework/edit_box.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <algorithm>

namespace fw {
namespace {

bool IsLineBreak(QChar c) {
  return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator;
}

}  // namespace

qsizetype LimitLength(QStringView text) {
  qsizetype n = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    n += IsLineBreak(text[i]) ? 2 : 1;
  }
  return n;
}

QStringView FittingStart(QStringView text, qsizetype room) {
  qsizetype used = 0;
  qsizetype i = 0;
  while (i < text.size()) {
    qsizetype step = 1;
    qsizetype cost = 1;
    if (IsLineBreak(text[i])) {
      cost = 2;
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') step = 2;
    } else if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      step = 2;
      cost = 2;
    }
    if (used + cost > room) break;
    used += cost;
    i += step;
  }
  return text.first(i);
}

qsizetype LongestUnbreakable(const QString& text, qsizetype cap) {
  // The layout breaks after blanks as well as at the line-break
  // opportunities of the text ("0026 0026" has none of those).
  QTextBoundaryFinder finder(QTextBoundaryFinder::Line, text);
  qsizetype next = finder.toNextBoundary();
  qsizetype run = 0;
  qsizetype longest = 0;
  for (qsizetype i = 0; i < text.size() && longest < cap; ++i) {
    if (i == next) {
      run = 0;
      next = finder.toNextBoundary();
    }
    if (text[i].isSpace()) {
      run = 0;
    } else {
      longest = std::max(longest, ++run);
    }
  }
  return std::min(longest, cap);
}

EditBox::EditBox(QWidget* parent) : QPlainTextEdit(parent) {
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  // The document tells of a change before it lays the text out, so the
  // wrapping is chosen in time for that layout.
  connect(document(), &QTextDocument::contentsChange, this, [this] { ChooseWrap(); });
}

qsizetype EditBox::Room() const {
  const QTextDocument* doc = document();
  // Every block but the last ends in a line break, which counts two.
  const qsizetype length = doc->characterCount() - 1 + doc->blockCount() - 1;
  const qsizetype selected = LimitLength(textCursor().selectedText());
  return std::max<qsizetype>(0, kUserTextLimit - (length - selected));
}

void EditBox::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  const bool types = !text.isEmpty() && text.front().isPrint() && !(event->modifiers() & Qt::ControlModifier);
  if (types && FittingStart(text, Room()).size() < text.size()) {
    QApplication::beep();
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void EditBox::inputMethodEvent(QInputMethodEvent* event) {
  const QString commit = event->commitString();
  const QStringView fitting = FittingStart(commit, Room());
  if (fitting.size() == commit.size()) {
    QPlainTextEdit::inputMethodEvent(event);
    return;
  }
  QApplication::beep();
  QInputMethodEvent cut(event->preeditString(), event->attributes());
  cut.setCommitString(fitting.toString(), event->replacementStart(), event->replacementLength());
  QPlainTextEdit::inputMethodEvent(&cut);
  event->accept();
}

void EditBox::insertFromMimeData(const QMimeData* source) {
  if (!source || !source->hasText()) {
    QPlainTextEdit::insertFromMimeData(source);
    return;
  }
  const QString text = source->text();
  const QStringView fitting = FittingStart(text, Room());
  if (fitting.size() == text.size()) {
    QPlainTextEdit::insertFromMimeData(source);
    return;
  }
  QApplication::beep();
  QMimeData cut;
  cut.setText(fitting.toString());
  QPlainTextEdit::insertFromMimeData(&cut);
}

void EditBox::ChooseWrap() {
  const bool long_word =
      LongestUnbreakable(document()->toPlainText(), kLongestWrappedWord + 1) > kLongestWrappedWord;
  setWordWrapMode(long_word ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
}

}  // namespace fw
