// Every field of the latest answer: label, value in decimal, hex text. A value
// that changed since the answer before is marked for a moment.
#pragma once

#include <QDateTime>
#include <QTableWidget>
#include <QTimer>
#include <vector>

#include "answer_fields.h"

namespace kelvo_monitor {

class ValuesTable : public QTableWidget {
  Q_OBJECT
 public:
  enum Column { LabelColumn, DecimalColumn, HexColumn };
  static constexpr int kMarkMs = 1500;

  explicit ValuesTable(QWidget* parent = nullptr);

  void ShowAnswer(const std::vector<AnswerField>& fields);
  // True while row `row`'s value is marked as changed.
  [[nodiscard]] bool Marked(int row) const;

 private:
  void ClearExpiredMarks();

  std::vector<QDateTime> marked_until_;  // by row; invalid: not marked
  QTimer unmark_timer_;
};

}  // namespace kelvo_monitor
