// Every field of the latest answer: its name, its value in the profile's
// unit, the raw number and the hex text, then the figures derived from them.
// A value that changed since the answer before is marked for a moment; a
// value in alarm is coloured by its severity while the alarm stands.
#pragma once

#include <QBrush>
#include <QDateTime>
#include <QTableWidget>
#include <QTimer>
#include <map>
#include <optional>
#include <vector>

#include "alarms/alarm_rule.h"
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

  // Colours the row of each profile key in `alarms` by its severity, until
  // the next call.
  void SetAlarms(std::map<QString, kelvo_alarms::Severity> alarms);
  // The severity row `row` is coloured with; none while its value is in no alarm.
  [[nodiscard]] std::optional<kelvo_alarms::Severity> RowAlarm(int row) const;

 private:
  // What a row's colour depends on; more reasons to colour a row go here.
  struct RowState {
    QString key;
    QDateTime marked_until;  // invalid: not marked
  };
  struct RowLook {
    QBrush background;
    QBrush text;
    bool name_too = false;  // the name column as well as the value's
  };

  // The one place that decides a row's colours: an alarm's over a change's mark.
  [[nodiscard]] RowLook RowColours(const RowState& state) const;
  void PaintRow(int row);
  void ClearExpiredMarks();

  std::vector<RowState> rows_;
  std::map<QString, kelvo_alarms::Severity> alarms_;  // by profile key
  QTimer unmark_timer_;
  bool shows_values_ = true;
};

}  // namespace kelvo_monitor
