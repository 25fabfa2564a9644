// The cell voltages as a bar chart, one bar per cell, the lowest and highest
// in their own colours, and the spread written beside the chart.
#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

class QCPBars;
class QCustomPlot;
class QLabel;

namespace kelvo_monitor {

class CellBars : public QWidget {
  Q_OBJECT
 public:
  explicit CellBars(QWidget* parent = nullptr);

  // Shows `cells` (the answer's cell voltage array, cell 1 first); an empty
  // list clears the chart.
  void SetCells(const std::vector<std::uint32_t>& cells);
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
  bool stale_ = false;
};

}  // namespace kelvo_monitor
