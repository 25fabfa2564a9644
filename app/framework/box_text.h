// The text of a dialog's controls, in and out, for every kind of control
// a template makes.
#pragma once

#include <QString>
#include <QStringView>

class QWidget;

namespace fw {

enum class BoxKind { None, LineEdit, MultiLineEdit, Button, Label };

[[nodiscard]] BoxKind KindOf(const QWidget* w);

// The control's whole text; multi-line boxes give their line breaks as
// CR LF, as the system keeps them. Empty for a widget of no known kind.
[[nodiscard]] QString BoxText(const QWidget* w);
// Replaces the control's whole text; "\r\n" becomes a line break in a
// multi-line box. Text the program writes is never cut to the user-entry
// limit, except by a single-line box, which cannot hold more.
void SetBoxText(QWidget* w, const QString& text);
// Selects the whole text of an edit box; other controls are left alone.
void SelectAllText(QWidget* w);

// `text` read as a signed decimal integer: blanks may stand before and
// after, one "-" may lead; anything else, an empty text or a value out of
// the 32-bit range reads as 0.
[[nodiscard]] int ParseDialogInt(QStringView text);

}  // namespace fw
