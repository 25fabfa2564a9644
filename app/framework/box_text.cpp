#include "framework/box_text.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <climits>
#include <cstdint>

namespace fw {
namespace {

bool IsBlank(QChar c) {
  return c == u' ' || c == u'\t';
}

}  // namespace

BoxKind KindOf(const QWidget* w) {
  if (qobject_cast<const QLineEdit*>(w)) return BoxKind::LineEdit;
  if (qobject_cast<const QPlainTextEdit*>(w)) return BoxKind::MultiLineEdit;
  if (qobject_cast<const QAbstractButton*>(w)) return BoxKind::Button;
  if (qobject_cast<const QLabel*>(w)) return BoxKind::Label;
  return BoxKind::None;
}

QString BoxText(const QWidget* w) {
  switch (KindOf(w)) {
    case BoxKind::LineEdit: return static_cast<const QLineEdit*>(w)->text();
    case BoxKind::MultiLineEdit:
      return static_cast<const QPlainTextEdit*>(w)->toPlainText().replace(u'\n', QStringLiteral("\r\n"));
    case BoxKind::Button: return static_cast<const QAbstractButton*>(w)->text();
    case BoxKind::Label: return static_cast<const QLabel*>(w)->text();
    case BoxKind::None: break;
  }
  return {};
}

void SetBoxText(QWidget* w, const QString& text) {
  switch (KindOf(w)) {
    case BoxKind::LineEdit: static_cast<QLineEdit*>(w)->setText(text); break;
    case BoxKind::MultiLineEdit:
      static_cast<QPlainTextEdit*>(w)->setPlainText(
          QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
      break;
    case BoxKind::Button: static_cast<QAbstractButton*>(w)->setText(text); break;
    case BoxKind::Label: static_cast<QLabel*>(w)->setText(text); break;
    case BoxKind::None: break;
  }
}

void SelectAllText(QWidget* w) {
  switch (KindOf(w)) {
    case BoxKind::LineEdit: static_cast<QLineEdit*>(w)->selectAll(); break;
    case BoxKind::MultiLineEdit: static_cast<QPlainTextEdit*>(w)->selectAll(); break;
    case BoxKind::Button:
    case BoxKind::Label:
    case BoxKind::None: break;
  }
}

int ParseDialogInt(QStringView text) {
  qsizetype i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == u'-';
  if (negative) ++i;
  const qsizetype first_digit = i;
  std::int64_t magnitude = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
    magnitude = magnitude * 10 + (text[i].unicode() - u'0');
    if (magnitude > std::int64_t{INT_MAX} + 1) return 0;
    ++i;
  }
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i == first_digit || i != text.size()) return 0;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT_MAX || value < INT_MIN) return 0;
  return static_cast<int>(value);
}

}  // namespace fw
