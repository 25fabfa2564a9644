#include "trend_charts.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QMenu>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "codec/payload_catalogue.h"
#include "profile/profile_values.h"
#include "profile_text.h"

namespace kelvo_monitor {
namespace {

constexpr int kRefreshMs = 100;  // at most ten drawings a second, however fast answers come

const QColor kLineColours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c),
                               QColor(0xd6, 0x27, 0x28), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                               QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f)};

const QBrush kOutageBrush(QColor(0xd9, 0x53, 0x4f, 0x30));

// A row stays readable however small the window: below this the charts scroll.
constexpr int kMinRowHeight = 120;
constexpr int kTimeAxisHeight = 30;  // the time labels under the last row

// Ticks fall on values the field can take: whole numbers for the unit's
// numbers, hundredths for a value to two decimals.
class ResolutionTicker : public QCPAxisTicker {
 public:
  explicit ResolutionTicker(double resolution) : resolution_(resolution) {}

 protected:
  double getTickStep(const QCPRange& range) override {
    const double step = QCPAxisTicker::getTickStep(range);
    return step < resolution_ ? resolution_ : std::ceil(step / resolution_ - 1e-9) * resolution_;
  }

 private:
  double resolution_;
};

struct SpanChoice {
  const char* text;
  double seconds;
};
constexpr SpanChoice kSpans[] = {
    {QT_TRANSLATE_NOOP("kelvo_monitor::TrendCharts", "1 分钟"), 60},
    {QT_TRANSLATE_NOOP("kelvo_monitor::TrendCharts", "10 分钟"), 600},
    {QT_TRANSLATE_NOOP("kelvo_monitor::TrendCharts", "1 小时"), 3600},
    {QT_TRANSLATE_NOOP("kelvo_monitor::TrendCharts", "24 小时"), 86400},
};

}  // namespace

TrendCharts::TrendCharts(QWidget* parent)
    : QWidget(parent),
      plot_(new QCustomPlot(this)),
      scroll_(new QScrollArea(this)),
      fields_button_(new QToolButton(this)),
      pause_button_(new QToolButton(this)),
      span_box_(new QComboBox(this)),
      labels_(LayoutLabels(0xC2)),
      values_(kHistorySeries) {
  if (const auto layout = codec::FindFieldLayout(0xC2)) {
    for (const codec::FieldDescriptor& field : *layout) gbk_labels_.push_back(field.label);
  }
  setObjectName(QStringLiteral("trend_charts"));
  plot_->setObjectName(QStringLiteral("trend_plot"));
  plot_->setNotAntialiasedElements(QCP::aeAll);
  plot_->setNoAntialiasingOnDrag(true);
  plot_->setPlottingHint(QCP::phFastPolylines, true);
  plot_->setAutoAddPlottableToLegend(false);
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);

  fields_button_->setObjectName(QStringLiteral("trend_fields"));
  fields_button_->setText(tr("字段"));
  fields_button_->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(fields_button_);
  for (int i = 0; i < static_cast<int>(labels_.size()); ++i) {
    QAction* action = menu->addAction(FieldName(i));
    action->setCheckable(true);
    action->setData(i);
    connect(action, &QAction::toggled, this, [this, i](bool on) {
      QList<int> fields = chosen_;
      if (on && !fields.contains(i)) fields.append(i);
      if (!on) fields.removeAll(i);
      if (fields != chosen_) SetChosenFields(fields);
    });
  }
  fields_button_->setMenu(menu);

  pause_button_->setObjectName(QStringLiteral("trend_pause"));
  pause_button_->setText(tr("暂停"));
  pause_button_->setCheckable(true);
  connect(pause_button_, &QToolButton::toggled, this, &TrendCharts::SetPaused);

  span_box_->setObjectName(QStringLiteral("trend_span"));
  for (const SpanChoice& choice : kSpans) span_box_->addItem(tr(choice.text), choice.seconds);
  span_box_->setCurrentIndex(1);
  connect(span_box_, &QComboBox::activated, this,
          [this](int index) { SetSpan(span_box_->itemData(index).toDouble()); });

  auto* bar = new QHBoxLayout;
  bar->addWidget(fields_button_);
  bar->addWidget(span_box_);
  bar->addWidget(pause_button_);
  bar->addStretch(1);
  scroll_->setObjectName(QStringLiteral("trend_scroll"));
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setWidget(plot_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(bar);
  layout->addWidget(scroll_, 1);

  refresh_timer_.setSingleShot(true);
  refresh_timer_.setInterval(kRefreshMs);
  connect(&refresh_timer_, &QTimer::timeout, this, &TrendCharts::Refresh);
  SetChosenFields(DefaultFields());
}

QList<int> TrendCharts::DefaultFields() {
  return {kC2TotalVoltage, kC2ChargeCurrent, kC2DischargeCurrent, kC2CapacityPercent, kC2SensorTemperatures};
}

void TrendCharts::SetChosenFields(const QList<int>& fields) {
  QList<int> kept;
  for (int field : fields) {
    if (field >= 0 && field < static_cast<int>(labels_.size()) && !kept.contains(field)) kept.append(field);
  }
  chosen_ = kept;
  for (QAction* action : fields_button_->menu()->actions()) {
    const QSignalBlocker block(action);
    action->setChecked(chosen_.contains(action->data().toInt()));
  }
  Rebuild();
  emit chosenFieldsChanged(chosen_);
}

void TrendCharts::SetProfile(std::shared_ptr<const kelvo_profile::Profile> profile) {
  profile_ = std::move(profile);
  for (QAction* action : fields_button_->menu()->actions())
    action->setText(FieldName(action->data().toInt()));
  for (Row& row : rows_) DescribeRow(row);
  Refresh();
}

const kelvo_profile::ProfileField* TrendCharts::FieldRead(int field) const {
  if (!profile_ || field >= static_cast<int>(gbk_labels_.size())) return nullptr;
  return profile_->FieldForLabel(gbk_labels_[field]);
}

QString TrendCharts::FieldName(int field) const {
  return FieldTitle(FieldRead(field), labels_[field]);
}

void TrendCharts::DescribeRow(Row& row) {
  row.read = FieldRead(row.field);
  row.title->setText(FieldTitle(row.read, labels_[row.field]));
  QCPAxis* axis = row.rect->axis(QCPAxis::atLeft);
  axis->setLabel(row.read ? QString::fromStdString(row.read->unit) : QString());
  auto ticker = QSharedPointer<ResolutionTicker>::create(row.read ? Resolution(row.read->decimals) : 1.0);
  ticker->setTickCount(3);
  axis->setTicker(ticker);
}

void TrendCharts::Rebuild() {
  plot_->clearItems();
  shades_.clear();
  plot_->clearPlottables();
  plot_->plotLayout()->clear();  // deletes the rows' axis rects and the legend with the first
  rows_.clear();
  delete margins_;
  margins_ = new QCPMarginGroup(plot_);
  auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
  ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss"));
  for (int r = 0; r < chosen_.size(); ++r) {
    auto* rect = new QCPAxisRect(plot_);
    rect->setRangeDrag(Qt::Horizontal);
    rect->setRangeZoom(Qt::Horizontal);
    rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins_);
    rect->axis(QCPAxis::atBottom)->setTicker(ticker);
    rect->axis(QCPAxis::atBottom)->setTickLabels(r + 1 == chosen_.size());
    connect(rect->axis(QCPAxis::atBottom), qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &TrendCharts::OnRangeChanged);
    plot_->plotLayout()->addElement(r, 0, rect);
    // The field's name inside its own row, level: names of rows never meet.
    auto* title = new QCPItemText(plot_);
    title->setObjectName(QStringLiteral("trend_title"));
    title->setLayer(QStringLiteral("legend"));
    title->setClipToAxisRect(false);
    title->position->setType(QCPItemPosition::ptAxisRectRatio);
    title->position->setAxisRect(rect);
    title->position->setCoords(0, 0);
    title->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    title->setPadding(QMargins(4, 1, 4, 1));
    title->setBrush(QColor(255, 255, 255, 200));
    rows_.push_back({chosen_[r], rect, title, {}, nullptr});
    DescribeRow(rows_.back());
  }
  plot_->setMinimumHeight(static_cast<int>(rows_.size()) * kMinRowHeight + kTimeAxisHeight);
  Refresh();
}

int TrendCharts::SeriesFor(int field, int element) {
  const auto key = std::make_pair(field, element);
  if (auto it = series_.find(key); it != series_.end()) return it->second;
  const int next = static_cast<int>(series_.size());
  if (next >= kHistorySeries) return -1;
  history_.Watch(next);
  series_.emplace(key, next);
  return next;
}

QCPGraph* TrendCharts::GraphFor(Row& row, bool is_array, int element) {
  while (static_cast<int>(row.graphs.size()) <= element) {
    auto* graph = plot_->addGraph(row.rect->axis(QCPAxis::atBottom), row.rect->axis(QCPAxis::atLeft));
    graph->setPen(QPen(kLineColours[row.graphs.size() % std::size(kLineColours)], 1));
    graph->setAdaptiveSampling(false);  // the history hands over a column's extremes already
    if (is_array) {
      // An array's lines are told apart by their element's number (the sensor, the cell).
      if (!row.legend) {
        row.legend = new QCPLegend;
        row.legend->setObjectName(QStringLiteral("trend_legend"));
        row.rect->insetLayout()->addElement(row.legend, Qt::AlignTop | Qt::AlignRight);
        row.legend->setLayer(QStringLiteral("legend"));
        row.legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
        row.legend->setWrap(8);
        row.legend->setRowSpacing(0);
        row.legend->setColumnSpacing(4);
        row.legend->setBrush(QColor(255, 255, 255, 200));
        row.legend->setIconSize(12, 8);
      }
      graph->setName(tr("%1 号").arg(row.graphs.size() + 1));
      graph->addToLegend(row.legend);
    }
    row.graphs.push_back(graph);
  }
  return row.graphs[element];
}

void TrendCharts::AddAnswer(double time, const std::vector<AnswerField>& fields) {
  std::fill(values_.begin(), values_.end(), std::numeric_limits<float>::quiet_NaN());
  for (Row& row : rows_) {
    if (row.field >= static_cast<int>(fields.size())) continue;
    const AnswerField& field = fields[row.field];
    if (field.is_array) {
      for (int e = 0; e < static_cast<int>(field.numbers.size()); ++e) {
        const int series = SeriesFor(row.field, e);
        if (series < 0) break;
        GraphFor(row, true, e);
        values_[series] = static_cast<float>(field.numbers[e]);
      }
    } else if (field.number) {
      const int series = SeriesFor(row.field, 0);
      if (series < 0) continue;
      GraphFor(row, false, 0);
      values_[series] = static_cast<float>(*field.number);
    }
  }
  if (history_.size() && (link_lost_ || time - history_.LastTime() > gap_after_)) {
    history_.AddOutage(history_.LastTime(), std::max(time, history_.LastTime()));
  }
  link_lost_ = false;
  history_.Append(time, values_);
  if (!paused_) ScheduleRefresh();
}

void TrendCharts::SetGapAfter(double seconds) {
  gap_after_ = std::max(seconds, 0.001);
}

void TrendCharts::MarkLinkLost() {
  link_lost_ = true;
  Tick();
}

std::optional<Outage> TrendCharts::OngoingOutage(double now) const {
  if (!history_.size()) return std::nullopt;
  const double last = history_.LastTime();
  if (!link_lost_ && now - last <= gap_after_) return std::nullopt;
  return Outage{last, std::max(now, last)};
}

void TrendCharts::Tick() {
  if (!paused_ && OngoingOutage(QDateTime::currentMSecsSinceEpoch() / 1000.0)) ScheduleRefresh();
}

void TrendCharts::ShadeOutages(double from, double to, std::optional<Outage> ongoing) {
  for (QCPItemRect* shade : shades_) plot_->removeItem(shade);
  shades_.clear();
  std::vector<Outage> shown;
  for (const Outage& o : history_.outages()) {
    if (o.to >= from && o.from <= to) shown.push_back(o);
  }
  if (ongoing) shown.push_back(*ongoing);
  for (const Row& row : rows_) {
    for (const Outage& o : shown) {
      auto* shade = new QCPItemRect(plot_);
      shade->setLayer(QStringLiteral("grid"));  // under the lines
      shade->setClipAxisRect(row.rect);
      shade->setPen(Qt::NoPen);
      shade->setBrush(kOutageBrush);
      for (QCPItemPosition* corner : {shade->topLeft, shade->bottomRight}) {
        corner->setAxisRect(row.rect);
        corner->setAxes(row.rect->axis(QCPAxis::atBottom), row.rect->axis(QCPAxis::atLeft));
        corner->setTypeX(QCPItemPosition::ptPlotCoords);
        corner->setTypeY(QCPItemPosition::ptAxisRectRatio);
      }
      shade->topLeft->setCoords(o.from, 0);
      shade->bottomRight->setCoords(o.to, 1);
      shades_.push_back(shade);
    }
  }
}

void TrendCharts::SetPaused(bool paused) {
  paused_ = paused;
  if (pause_button_->isChecked() != paused) pause_button_->setChecked(paused);
  if (!paused_) Refresh();
}

void TrendCharts::SetSpan(double seconds) {
  span_ = std::clamp(seconds, 1.0, 7.0 * 86400);
  const int index = span_box_->findData(span_);
  if (index >= 0) span_box_->setCurrentIndex(index);
  if (paused_ && !rows_.empty()) {
    const QCPRange range = rows_.front().rect->axis(QCPAxis::atBottom)->range();
    SetRange(range.upper - span_, range.upper);
  }
  Refresh();
}

void TrendCharts::ScheduleRefresh() {
  if (!refresh_timer_.isActive()) refresh_timer_.start();
}

void TrendCharts::OnRangeChanged(const QCPRange& range) {
  if (setting_range_) return;
  // Zoom or drag by the user: the other rows follow; a drag back in time pauses.
  SetRange(range.lower, range.upper);
  span_ = range.size();
  if (!paused_ && range.upper < history_.LastTime() - span_ / 20) SetPaused(true);
  ScheduleRefresh();
}

void TrendCharts::SetRange(double from, double to) {
  setting_range_ = true;
  for (Row& row : rows_) row.rect->axis(QCPAxis::atBottom)->setRange(from, to);
  setting_range_ = false;
}

void TrendCharts::Refresh() {
  refresh_timer_.stop();
  const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
  const std::optional<Outage> ongoing = OngoingOutage(now);
  if (!paused_) {
    // Following: the newest answer at the right edge, or the outage going on now.
    const double last = ongoing ? ongoing->to : history_.size() ? history_.LastTime() : now;
    SetRange(last - span_, last);
  }
  QVector<QCPGraphData> points;
  for (Row& row : rows_) {
    const QCPRange range = row.rect->axis(QCPAxis::atBottom)->range();
    const int columns = std::max(1, row.rect->width());
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (int e = 0; e < static_cast<int>(row.graphs.size()); ++e) {
      const auto it = series_.find({row.field, e});
      scratch_.clear();
      if (it != series_.end()) history_.Decimate(it->second, range.lower, range.upper, columns, scratch_);
      points.resize(static_cast<qsizetype>(scratch_.size()));
      for (std::size_t i = 0; i < scratch_.size(); ++i) {
        double value = scratch_[i].value;
        if (!std::isnan(value) && row.read) value = kelvo_profile::ScaledValue(*row.read, value);
        points[static_cast<qsizetype>(i)] = QCPGraphData(scratch_[i].time, value);
        if (std::isnan(value)) continue;  // a break in the line
        low = std::min(low, value);
        high = std::max(high, value);
      }
      row.graphs[e]->data()->set(points, true);
    }
    if (low <= high) {
      const double pad = std::max((high - low) * 0.1, row.read ? Resolution(row.read->decimals) : 1.0);
      row.rect->axis(QCPAxis::atLeft)->setRange(low - pad, high + pad);
    }
  }
  if (!rows_.empty()) {
    const QCPRange range = rows_.front().rect->axis(QCPAxis::atBottom)->range();
    ShadeOutages(range.lower, range.upper, ongoing);
  }
  plot_->replot(QCustomPlot::rpQueuedReplot);
}

}  // namespace kelvo_monitor
