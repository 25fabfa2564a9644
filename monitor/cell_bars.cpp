#include "cell_bars.h"

#include <qcustomplot.h>

#include <QHBoxLayout>
#include <QLabel>
#include <algorithm>
#include <cmath>

#include "alarm_look.h"

namespace kelvo_monitor {
namespace {

const QColor kCellColour(0x5b, 0x8d, 0xc9);
const QColor kLowestColour(0x2e, 0x9e, 0x5b);
const QColor kHighestColour(0xd9, 0x53, 0x4f);
const QColor kStaleColour(0xb8, 0xb8, 0xb8);

// Drawn round a cell in alarm, so that it stands apart from the highest cell's red.
const QColor kAlarmOutline(0x20, 0x20, 0x20);

QCPBars* MakeBars(QCustomPlot* plot, const QColor& colour) {
  auto* bars = new QCPBars(plot->xAxis, plot->yAxis);
  bars->setWidth(0.7);
  bars->setPen(Qt::NoPen);
  bars->setBrush(colour);
  bars->setAntialiased(false);
  return bars;
}

QCPBars* MakeAlarmBars(QCustomPlot* plot, kelvo_alarms::Severity severity) {
  QCPBars* bars = MakeBars(plot, LookOf(severity).background);
  bars->setPen(QPen(kAlarmOutline, 2));
  return bars;
}

}  // namespace

CellBars::CellBars(QWidget* parent)
    : QWidget(parent), plot_(new QCustomPlot(this)), summary_(new QLabel(this)) {
  setObjectName(QStringLiteral("cell_bars"));
  plot_->setObjectName(QStringLiteral("cell_plot"));
  plot_->setNotAntialiasedElements(QCP::aeAll);
  plot_->setNoAntialiasingOnDrag(true);
  plot_->setMinimumHeight(160);
  cells_ = MakeBars(plot_, kCellColour);
  lowest_ = MakeBars(plot_, kLowestColour);
  highest_ = MakeBars(plot_, kHighestColour);
  warning_ = MakeAlarmBars(plot_, kelvo_alarms::Severity::Warning);
  critical_ = MakeAlarmBars(plot_, kelvo_alarms::Severity::Critical);
  plot_->xAxis->setLabel(tr("单体"));
  auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
  ticker->setTickStep(1.0);
  ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
  plot_->xAxis->setTicker(ticker);
  plot_->xAxis->grid()->setVisible(false);

  summary_->setObjectName(QStringLiteral("cell_summary"));
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  summary_->setMinimumWidth(120);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(plot_, 1);
  layout->addWidget(summary_);
  SetCells({});
}

void CellBars::SetCells(const std::vector<double>& cells, int decimals, const QString& unit) {
  if (unit != shown_unit_ || shown_count_ < 0) {
    plot_->yAxis->setLabel(unit.isEmpty() ? tr("单体电压") : tr("单体电压 (%1)").arg(unit));
    shown_unit_ = unit;
  }
  const auto text = [&](double value) {
    const QString number = QString::number(value, 'f', decimals);
    return unit.isEmpty() ? number : QStringLiteral("%1 %2").arg(number, unit);
  };
  shown_ = cells;
  if (!cells.empty()) {
    const auto low = std::min_element(cells.begin(), cells.end());
    const auto high = std::max_element(cells.begin(), cells.end());
    const double spread = *high - *low;
    // Room for twenty steps of the last decimal at least: a flat bank still shows its bars.
    const double margin = std::max(spread, 20 * std::pow(10.0, -decimals));
    plot_->yAxis->setRange(std::max(0.0, *low - margin), *high + margin / 2);
    if (shown_count_ != static_cast<int>(cells.size())) {
      plot_->xAxis->setRange(0.3, cells.size() + 0.7);
      shown_count_ = static_cast<int>(cells.size());
    }
    summary_->setText(tr("最高: %1 号 %2\n最低: %3 号 %4\n压差: %5")
                          .arg(static_cast<int>(high - cells.begin()) + 1)
                          .arg(text(*high))
                          .arg(static_cast<int>(low - cells.begin()) + 1)
                          .arg(text(*low))
                          .arg(text(spread)));
  } else {
    summary_->setText(tr("尚无数据"));
  }
  SplitBars();
}

void CellBars::SetAlarms(std::map<int, kelvo_alarms::Severity> alarms) {
  if (alarms == alarms_) return;
  alarms_ = std::move(alarms);
  SplitBars();
}

QCPBars* CellBars::alarmBars(kelvo_alarms::Severity severity) const {
  return severity == kelvo_alarms::Severity::Critical ? critical_ : warning_;
}

void CellBars::SplitBars() {
  // Each set's keys and values; every set is given its data, an empty one too.
  std::map<QCPBars*, std::pair<QVector<double>, QVector<double>>> sets{
      {cells_, {}}, {lowest_, {}}, {highest_, {}}, {warning_, {}}, {critical_, {}}};
  if (!shown_.empty()) {
    // The first cell of the lowest and of the highest reading, as the profile's figures name them.
    const auto low_at = std::min_element(shown_.begin(), shown_.end()) - shown_.begin();
    const auto high_at = std::max_element(shown_.begin(), shown_.end()) - shown_.begin();
    for (int i = 0; i < static_cast<int>(shown_.size()); ++i) {
      const auto alarm = alarms_.find(i + 1);
      QCPBars* bars = alarm != alarms_.end() ? alarmBars(alarm->second)
                      : i == low_at          ? lowest_
                      : i == high_at         ? highest_
                                             : cells_;
      sets[bars].first.push_back(i + 1);
      sets[bars].second.push_back(shown_[static_cast<std::size_t>(i)]);
    }
  }
  for (auto& [bars, points] : sets) bars->setData(points.first, points.second, true);
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

void CellBars::SetStale(bool stale) {
  if (stale_ == stale) return;
  stale_ = stale;
  cells_->setBrush(stale ? kStaleColour : kCellColour);
  lowest_->setBrush(stale ? kStaleColour : kLowestColour);
  highest_->setBrush(stale ? kStaleColour : kHighestColour);
  QPalette palette = summary_->palette();
  palette.setColor(QPalette::WindowText, stale ? kStaleColour.darker(130) : QColor());
  summary_->setPalette(stale ? palette : QPalette());
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

}  // namespace kelvo_monitor
