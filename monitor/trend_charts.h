// Time charts of chosen numeric fields of the 0xC2 answer: one row per field
// (an array field draws one line per element), fed from a bounded history and
// drawn with no more than two points per pixel column. The history keeps the
// unit's numbers; a profile turns them into its units as they are drawn, so
// that choosing another profile redraws the whole history in its units.
#pragma once

#include <QList>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "answer_fields.h"
#include "profile/profile.h"
#include "trend_history.h"

class QCPAxisRect;
class QCPGraph;
class QCPItemRect;
class QCPItemText;
class QCPLegend;
class QScrollArea;
class QCPMarginGroup;
class QCPRange;
class QCustomPlot;
class QComboBox;
class QToolButton;

namespace kelvo_monitor {

class TrendCharts : public QWidget {
  Q_OBJECT
 public:
  explicit TrendCharts(QWidget* parent = nullptr);

  // Total voltage, charge and discharge current, capacity percentage and the
  // sensor temperatures.
  [[nodiscard]] static QList<int> DefaultFields();
  // Fields are indices among the 0xC2 answer's payload fields.
  void SetChosenFields(const QList<int>& fields);
  [[nodiscard]] const QList<int>& chosenFields() const { return chosen_; }
  // The profile the charts are drawn in; null: the unit's numbers.
  void SetProfile(std::shared_ptr<const kelvo_profile::Profile> profile);

  // One answer's fields, taken at `time` (seconds since the epoch). After a
  // gap longer than SetGapAfter's, or a MarkLinkLost, the lines start anew
  // and the stretch between is shaded as an outage.
  void AddAnswer(double time, const std::vector<AnswerField>& fields);
  // Answers further apart than `seconds` have an outage between them (default 3 s).
  void SetGapAfter(double seconds);
  // The link dropped: whatever answer comes next starts new lines.
  void MarkLinkLost();
  // The outage going on now, from the last answer to `now`; none while answers come.
  [[nodiscard]] std::optional<Outage> OngoingOutage(double now) const;
  // Draws an outage going on, so that its shading grows; nothing otherwise.
  void Tick();

  void SetPaused(bool paused);
  [[nodiscard]] bool paused() const { return paused_; }
  // The span shown while following the newest answer, in seconds.
  void SetSpan(double seconds);
  [[nodiscard]] double span() const { return span_; }

  [[nodiscard]] QCustomPlot* plot() const { return plot_; }
  [[nodiscard]] const TrendHistory& history() const { return history_; }
  // Draws now rather than at the next refresh tick.
  void Refresh();

 signals:
  void chosenFieldsChanged(const QList<int>& fields);

 private:
  struct Row {
    int field;
    QCPAxisRect* rect;
    QCPItemText* title;
    std::vector<QCPGraph*> graphs;                      // one per element, made as elements appear
    QCPLegend* legend;                                  // an array's element numbers; null for a single value
    const kelvo_profile::ProfileField* read = nullptr;  // the profile's field; null: the unit's numbers
  };

  void Rebuild();
  // What the profile gives a row: its title, its unit on the value axis, its ticks.
  void DescribeRow(Row& row);
  // The profile's field for field `field` of the answer; null without one.
  [[nodiscard]] const kelvo_profile::ProfileField* FieldRead(int field) const;
  // The field's name in the window's language, for titles and the fields menu.
  [[nodiscard]] QString FieldName(int field) const;
  void ShadeOutages(double from, double to, std::optional<Outage> ongoing);
  void ScheduleRefresh();
  void OnRangeChanged(const QCPRange& range);
  void SetRange(double from, double to);
  // The history series of element `element` of field `field`; -1 when all are taken.
  int SeriesFor(int field, int element);
  QCPGraph* GraphFor(Row& row, bool is_array, int element);

  QCustomPlot* plot_;
  QScrollArea* scroll_;  // the rows keep a readable height and scroll when the window is small
  QToolButton* fields_button_;
  QToolButton* pause_button_;
  QComboBox* span_box_;
  QCPMarginGroup* margins_ = nullptr;
  TrendHistory history_;
  std::map<std::pair<int, int>, int> series_;  // (field, element) -> history series
  std::vector<QString> labels_;
  std::vector<std::string_view> gbk_labels_;  // the codec's, for the profile
  std::shared_ptr<const kelvo_profile::Profile> profile_;
  std::vector<Row> rows_;
  QList<int> chosen_;
  std::vector<float> values_;         // one answer's values, by series
  std::vector<TrendPoint> scratch_;   // decimated points of one line
  std::vector<QCPItemRect*> shades_;  // the outages in view, on every row
  QTimer refresh_timer_;
  bool paused_ = false;
  bool setting_range_ = false;
  double span_ = 600;
  double gap_after_ = 3;
  bool link_lost_ = false;
};

}  // namespace kelvo_monitor
