// Every field of the latest answer: its name, its value in the profile's
// unit, the raw number and the hex text, then the figures derived from them.
// A value that changed since the answer before is marked for a moment.
#pragma once

#include <QBrush>
#include <QDateTime>
#include <QTableWidget>
#include <QTimer>
#include <vector>

#include "value_rows.h"

namespace kelvo_monitor {

class ValuesTable : public QTableWidget {
  Q_OBJECT
 public:
  enum Column { NameColumn, ValueColumn, RawColumn, HexColumn };
  static constexpr int kMarkMs = 1500;

  explicit ValuesTable(QWidget* parent = nullptr);

  // With values off the table is name, number and hex, as the unit sends them.
  void SetShowsValues(bool shows);
  [[nodiscard]] bool showsValues() const { return shows_values_; }
  void ShowRows(const std::vector<ValueRow>& rows);
  // Forgets the rows, so that the next answer is shown without marks.
  void Clear();
  // True while row `row`'s value is marked as changed.
  [[nodiscard]] bool Marked(int row) const;
  // The profile key of row `row`; empty without one.
  [[nodiscard]] QString RowKey(int row) const;

 private:
  // What a row's colour depends on; more reasons to colour a row go here.
  struct RowState {
    QString key;
    QDateTime marked_until;  // invalid: not marked
  };

  // The one place that decides a row's background.
  [[nodiscard]] QBrush RowBrush(const RowState& state) const;
  void PaintRow(int row);
  void ClearExpiredMarks();

  std::vector<RowState> rows_;
  QTimer unmark_timer_;
  bool shows_values_ = true;
};

}  // namespace kelvo_monitor
