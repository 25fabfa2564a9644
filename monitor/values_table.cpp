#include "values_table.h"

#include <QHeaderView>

namespace kelvo_monitor {
namespace {

const QColor kChanged(0xff, 0xe0, 0x8a);

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

}  // namespace

ValuesTable::ValuesTable(QWidget* parent) : QTableWidget(0, 3, parent) {
  setObjectName(QStringLiteral("values_table"));
  setHorizontalHeaderLabels({tr("名称"), tr("数值"), tr("十六进制")});
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setSectionResizeMode(LabelColumn, QHeaderView::ResizeToContents);
  horizontalHeader()->setSectionResizeMode(DecimalColumn, QHeaderView::Interactive);
  horizontalHeader()->setStretchLastSection(true);
  setColumnWidth(DecimalColumn, 110);
  setMinimumWidth(360);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  unmark_timer_.setInterval(250);
  connect(&unmark_timer_, &QTimer::timeout, this, &ValuesTable::ClearExpiredMarks);
}

void ValuesTable::ShowAnswer(const std::vector<AnswerField>& fields) {
  const int rows = static_cast<int>(fields.size());
  const bool same_layout = rowCount() == rows;
  if (!same_layout) {
    setRowCount(rows);
    marked_until_.assign(fields.size(), QDateTime());
  }
  const QDateTime until = QDateTime::currentDateTimeUtc().addMSecs(kMarkMs);
  for (int r = 0; r < rows; ++r) {
    const AnswerField& field = fields[r];
    const QString decimal = field.DecimalText();
    if (!same_layout || !item(r, LabelColumn)) {
      setItem(r, LabelColumn, Cell(field.label));
      setItem(r, DecimalColumn, Cell(decimal));
      setItem(r, HexColumn, Cell(field.hex));
      continue;
    }
    if (item(r, LabelColumn)->text() != field.label) item(r, LabelColumn)->setText(field.label);
    if (item(r, HexColumn)->text() == field.hex) continue;
    item(r, DecimalColumn)->setText(decimal);
    item(r, HexColumn)->setText(field.hex);
    for (int c : {DecimalColumn, HexColumn}) item(r, c)->setBackground(kChanged);
    marked_until_[r] = until;
    if (!unmark_timer_.isActive()) unmark_timer_.start();
  }
}

bool ValuesTable::Marked(int row) const {
  return row >= 0 && row < static_cast<int>(marked_until_.size()) && marked_until_[row].isValid();
}

void ValuesTable::ClearExpiredMarks() {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  bool any_left = false;
  for (int r = 0; r < static_cast<int>(marked_until_.size()); ++r) {
    if (!marked_until_[r].isValid()) continue;
    if (marked_until_[r] > now) {
      any_left = true;
      continue;
    }
    marked_until_[r] = QDateTime();
    for (int c : {DecimalColumn, HexColumn}) {
      if (QTableWidgetItem* cell = item(r, c)) cell->setBackground(QBrush());
    }
  }
  if (!any_left) unmark_timer_.stop();
}

}  // namespace kelvo_monitor
