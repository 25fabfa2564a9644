// Every frame sent and seen, with its time and direction; frames that are not
// well formed carry the codec's findings and stand out. Bounded: the oldest
// lines go first. Lines are gathered and drawn a few times a second.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QTimer>
#include <QWidget>
#include <deque>

#include "link/answer_rules.h"

class QPlainTextEdit;

namespace kelvo_monitor {

inline constexpr int kTrafficLines = 5000;

class TrafficLog : public QWidget {
  Q_OBJECT
 public:
  explicit TrafficLog(QWidget* parent = nullptr);

  void AddSent(const QByteArray& frame, const QDateTime& at);
  void AddSeen(const QByteArray& frame, const QDateTime& at, kelvo_link::AnswerVerdict verdict);
  // A line of the log's own (link lost, a frame too long to be one).
  void AddNote(const QDateTime& at, const QString& text);
  void Clear();
  // Draws what is waiting now rather than at the next tick.
  void Flush();

  [[nodiscard]] QPlainTextEdit* view() const { return view_; }
  // Findings of the codec's validation of `frame`, in words; empty when it is well formed.
  [[nodiscard]] static QString DescribeFindings(const QByteArray& frame);
  // The link's verdict on a frame, in the window's language.
  [[nodiscard]] static QString VerdictWords(kelvo_link::AnswerVerdict verdict);
  // Why `frame` was not taken: the verdict, then the findings when there are any.
  [[nodiscard]] static QString RejectionWords(const QByteArray& frame, kelvo_link::AnswerVerdict verdict);

 private:
  struct Line {
    QString text;
    bool marked;
  };
  void Add(QString text, bool marked);

  QPlainTextEdit* view_;
  std::deque<Line> pending_;
  QTimer flush_timer_;
};

}  // namespace kelvo_monitor
