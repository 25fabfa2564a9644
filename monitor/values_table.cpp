#include "values_table.h"

#include <QHeaderView>

#include "alarm_look.h"

namespace kelvo_monitor {
namespace {

const QColor kChanged(0xff, 0xe0, 0x8a);

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

// Sets `text` where it differs; true when it did.
bool Update(QTableWidgetItem* item, const QString& text) {
  if (item->text() == text) return false;
  item->setText(text);
  return true;
}

}  // namespace

ValuesTable::ValuesTable(QWidget* parent) : QTableWidget(0, 4, parent) {
  setObjectName(QStringLiteral("values_table"));
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::ResizeToContents);
  horizontalHeader()->setSectionResizeMode(ValueColumn, QHeaderView::Interactive);
  horizontalHeader()->setSectionResizeMode(RawColumn, QHeaderView::Interactive);
  horizontalHeader()->setStretchLastSection(true);
  setColumnWidth(ValueColumn, 120);
  setMinimumWidth(360);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  SetShowsValues(true);
  unmark_timer_.setInterval(250);
  connect(&unmark_timer_, &QTimer::timeout, this, &ValuesTable::ClearExpiredMarks);
}

void ValuesTable::SetShowsValues(bool shows) {
  shows_values_ = shows;
  // Without values the unit's number is the value, as the column has always said.
  setHorizontalHeaderLabels({tr("名称"), tr("数值"), shows ? tr("原始值") : tr("数值"), tr("十六进制")});
  setColumnHidden(ValueColumn, !shows);
  setColumnWidth(RawColumn, shows ? 85 : 110);
}

void ValuesTable::Clear() {
  setRowCount(0);
  rows_.clear();
}

void ValuesTable::ShowRows(const std::vector<ValueRow>& rows) {
  const int count = static_cast<int>(rows.size());
  const bool same_layout = rowCount() == count;
  if (!same_layout) {
    setRowCount(count);
    rows_.assign(rows.size(), RowState());
  }
  const QDateTime until = QDateTime::currentDateTimeUtc().addMSecs(kMarkMs);
  for (int r = 0; r < count; ++r) {
    const ValueRow& row = rows[r];
    const bool rekeyed = rows_[r].key != row.key;
    rows_[r].key = row.key;
    if (!same_layout || !item(r, NameColumn)) {
      QTableWidgetItem* name = Cell(row.name);
      // Worked out by the window, not sent by the unit.
      if (row.derived) {
        QFont font = name->font();
        font.setItalic(true);
        name->setFont(font);
      }
      name->setToolTip(row.key);
      setItem(r, NameColumn, name);
      setItem(r, ValueColumn, Cell(row.value));
      setItem(r, RawColumn, Cell(row.raw));
      setItem(r, HexColumn, Cell(row.hex));
      PaintRow(r);
      continue;
    }
    if (Update(item(r, NameColumn), row.name)) item(r, NameColumn)->setToolTip(row.key);
    bool changed = Update(item(r, ValueColumn), row.value);
    changed = Update(item(r, RawColumn), row.raw) || changed;
    changed = Update(item(r, HexColumn), row.hex) || changed;
    if (rekeyed) PaintRow(r);
    if (!changed) continue;
    rows_[r].marked_until = until;
    PaintRow(r);
    if (!unmark_timer_.isActive()) unmark_timer_.start();
  }
}

bool ValuesTable::Marked(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) && rows_[row].marked_until.isValid();
}

QString ValuesTable::RowKey(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].key : QString();
}

void ValuesTable::SetAlarms(std::map<QString, kelvo_alarms::Severity> alarms) {
  if (alarms == alarms_) return;
  alarms_ = std::move(alarms);
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r) PaintRow(r);
}

std::optional<kelvo_alarms::Severity> ValuesTable::RowAlarm(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || rows_[row].key.isEmpty()) return std::nullopt;
  const auto found = alarms_.find(rows_[row].key);
  if (found == alarms_.end()) return std::nullopt;
  return found->second;
}

ValuesTable::RowLook ValuesTable::RowColours(const RowState& state) const {
  if (const auto alarm = state.key.isEmpty() ? alarms_.end() : alarms_.find(state.key);
      alarm != alarms_.end()) {
    const SeverityLook look = LookOf(alarm->second);
    return {look.background, look.text, true};
  }
  if (state.marked_until.isValid()) return {kChanged, {}, false};
  return {};
}

void ValuesTable::PaintRow(int row) {
  const RowLook look = RowColours(rows_[row]);
  for (int c = 0; c < columnCount(); ++c) {
    QTableWidgetItem* cell = item(row, c);
    if (!cell) continue;
    const bool painted = c != NameColumn || look.name_too;
    cell->setBackground(painted ? look.background : QBrush());
    cell->setForeground(painted ? look.text : QBrush());
  }
}

void ValuesTable::ClearExpiredMarks() {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  bool any_left = false;
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
    if (!rows_[r].marked_until.isValid()) continue;
    if (rows_[r].marked_until > now) {
      any_left = true;
      continue;
    }
    rows_[r].marked_until = QDateTime();
    PaintRow(r);
  }
  if (!any_left) unmark_timer_.stop();
}

}  // namespace kelvo_monitor
