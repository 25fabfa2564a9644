// The cell voltages as a bar chart, one bar per cell, the lowest and highest
// in their own colours, a cell in alarm in its severity's, and the spread
// written beside the chart: in the profile's unit, or as the unit's numbers
// without a profile.
#pragma once

#include <QString>
#include <QWidget>
#include <map>
#include <vector>

#include "alarms/alarm_rule.h"

class QCPBars;
class QCustomPlot;
class QLabel;

namespace kelvo_monitor {

class CellBars : public QWidget {
  Q_OBJECT
 public:
  explicit CellBars(QWidget* parent = nullptr);

  // Shows `cells` (the answer's cell voltages, cell 1 first), written to
  // `decimals` decimals with `unit`; an empty list clears the chart.
  void SetCells(const std::vector<double>& cells, int decimals = 0, const QString& unit = {});
  // Colours the cells in `alarms` (by 1-based cell) by their severity, until
  // the next call; an alarm's colour goes over the lowest's and highest's.
  void SetAlarms(std::map<int, kelvo_alarms::Severity> alarms);
  // Greys the bars and the summary while what they show is old news; the
  // cells in alarm keep their colour, as the alarm stands.
  void SetStale(bool stale);
  [[nodiscard]] bool stale() const { return stale_; }

  [[nodiscard]] QCustomPlot* plot() const { return plot_; }
  // The bars of the cells in alarm of `severity`.
  [[nodiscard]] QCPBars* alarmBars(kelvo_alarms::Severity severity) const;

 private:
  // Puts each cell on show into its set of bars.
  void SplitBars();

  QCustomPlot* plot_;
  QCPBars* cells_;  // every cell but the extremes and those in alarm
  QCPBars* lowest_;
  QCPBars* highest_;
  QCPBars* warning_;
  QCPBars* critical_;
  QLabel* summary_;  // lowest, highest, spread
  std::vector<double> shown_;
  std::map<int, kelvo_alarms::Severity> alarms_;
  int shown_count_ = -1;
  QString shown_unit_;
  bool stale_ = false;
};

}  // namespace kelvo_monitor
