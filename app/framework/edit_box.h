// The multi-line edit box: the platform's limit on what the user enters,
// and wrapping whose cost stays linear in the length of a line.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QStringView>

namespace fw {

// Characters a user may enter into an edit box (typed, pasted, dropped or
// composed); what goes past it is cut. Text the program writes is not
// limited. Single-line boxes keep Qt's own limit, which is the same.
inline constexpr int kUserTextLimit = 32767;

// Qt's word wrapping scans the rest of an unbreakable stretch for every
// line it fills, so a long line without break opportunities costs the
// square of its length. Past this many characters without one, a box wraps
// anywhere instead; shorter text, every frame included, wraps as before.
inline constexpr qsizetype kLongestWrappedWord = 256;

// The characters `text` counts for the limit: every line break (CR LF, CR,
// LF or a paragraph separator) counts as CR LF, two characters.
[[nodiscard]] qsizetype LimitLength(QStringView text);
// The longest start of `text` whose LimitLength is at most `room`; a line
// break or a surrogate pair (two characters) is never cut in two.
[[nodiscard]] QStringView FittingStart(QStringView text, qsizetype room);
// The longest stretch of `text` without a blank or a line-break opportunity,
// counted up to `cap`.
[[nodiscard]] qsizetype LongestUnbreakable(const QString& text, qsizetype cap);

class EditBox : public QPlainTextEdit {
 public:
  explicit EditBox(QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  // Paste and drop.
  void insertFromMimeData(const QMimeData* source) override;

 private:
  // Characters that user entry may still add in place of the selection.
  [[nodiscard]] qsizetype Room() const;
  void ChooseWrap();
};

}  // namespace fw
