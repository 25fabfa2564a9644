// The alarms that stand: one line each with what it watches, its severity,
// the value that raised it and the threshold, the element, since when, and
// whether it waits for an acknowledgement; acknowledging the selected ones or
// all of them.
#pragma once

#include <QWidget>
#include <vector>

#include "alarm_text.h"

class QPushButton;
class QTableWidget;

namespace kelvo_monitor {

class AlarmList : public QWidget {
  Q_OBJECT
 public:
  enum Column {
    NameColumn,
    WatchedColumn,
    SeverityColumn,
    ValueColumn,
    ThresholdColumn,
    ElementColumn,
    SinceColumn,
    StateColumn,
    ColumnCount
  };

  explicit AlarmList(QWidget* parent = nullptr);

  // Shows `lines` in their order; the selection stays on the alarms still there.
  void ShowLines(const std::vector<AlarmLine>& lines);
  [[nodiscard]] QTableWidget* table() const { return table_; }

 signals:
  // A rule's name, "offline", or "*" for all of the unit's alarms.
  void acknowledgeRequested(const QString& name);

 private:
  void AcknowledgeSelected();
  void UpdateButtons();

  QTableWidget* table_;
  QPushButton* acknowledge_selected_;
  QPushButton* acknowledge_all_;
  std::vector<AlarmLine> lines_;
};

}  // namespace kelvo_monitor
