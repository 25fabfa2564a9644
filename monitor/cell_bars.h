// The cell voltages as a bar chart, one bar per cell, the lowest and highest
// in their own colours, and the spread written beside the chart: in the
// profile's unit, or as the unit's numbers without a profile.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

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
  // Greys the bars and the summary while what they show is old news.
  void SetStale(bool stale);
  [[nodiscard]] bool stale() const { return stale_; }

  [[nodiscard]] QCustomPlot* plot() const { return plot_; }

 private:
  QCustomPlot* plot_;
  QCPBars* cells_;  // every cell but the extremes
  QCPBars* lowest_;
  QCPBars* highest_;
  QLabel* summary_;  // lowest, highest, spread
  int shown_count_ = -1;
  QString shown_unit_;
  bool stale_ = false;
};

}  // namespace kelvo_monitor
