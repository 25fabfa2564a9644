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
