#include "alarm_list.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

#include "alarm_look.h"

namespace kelvo_monitor {
namespace {

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

// Which alarm a line is, to keep it selected across changes of the list.
QString Identity(const AlarmLine& line) {
  return line.name + QLatin1Char('#') + line.element;
}

}  // namespace

AlarmList::AlarmList(QWidget* parent)
    : QWidget(parent),
      table_(new QTableWidget(0, ColumnCount, this)),
      acknowledge_selected_(new QPushButton(tr("确认所选(&A)"), this)),
      acknowledge_all_(new QPushButton(tr("全部确认"), this)) {
  setObjectName(QStringLiteral("alarm_list"));
  table_->setObjectName(QStringLiteral("alarm_table"));
  table_->setHorizontalHeaderLabels({tr("告警"), tr("监视"), tr("级别"), tr("数值"), tr("阈值"),
                                     tr("单体/传感器"), tr("开始于"), tr("状态")});
  table_->verticalHeader()->setVisible(false);
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setWordWrap(false);
  acknowledge_selected_->setObjectName(QStringLiteral("acknowledge_selected"));
  acknowledge_all_->setObjectName(QStringLiteral("acknowledge_all"));

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(acknowledge_selected_);
  buttons->addWidget(acknowledge_all_);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);

  connect(acknowledge_selected_, &QPushButton::clicked, this, &AlarmList::AcknowledgeSelected);
  connect(acknowledge_all_, &QPushButton::clicked, this,
          [this] { emit acknowledgeRequested(QStringLiteral("*")); });
  connect(table_, &QTableWidget::itemSelectionChanged, this, &AlarmList::UpdateButtons);
  UpdateButtons();
}

void AlarmList::ShowLines(const std::vector<AlarmLine>& lines) {
  QSet<QString> selected;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows())
    selected.insert(Identity(lines_[static_cast<std::size_t>(index.row())]));
  lines_ = lines;
  const QSignalBlocker quiet(table_);
  table_->clearSelection();
  table_->setRowCount(static_cast<int>(lines.size()));
  for (int r = 0; r < static_cast<int>(lines.size()); ++r) {
    const AlarmLine& line = lines[static_cast<std::size_t>(r)];
    const QString texts[ColumnCount] = {line.name,      line.watched, line.severity_text, line.value,
                                        line.threshold, line.element, line.since,         line.state};
    for (int c = 0; c < ColumnCount; ++c) table_->setItem(r, c, Cell(texts[c]));
    const SeverityLook look = LookOf(line.severity);
    QTableWidgetItem* severity = table_->item(r, SeverityColumn);
    severity->setBackground(look.background);
    severity->setForeground(look.text);
    if (selected.contains(Identity(line))) table_->selectRow(r);
  }
  UpdateButtons();
}

void AlarmList::AcknowledgeSelected() {
  // A rule's alarms are acknowledged together, every element, as on the gateway's topic.
  QStringList names;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
    const AlarmLine& line = lines_[static_cast<std::size_t>(index.row())];
    if (line.can_acknowledge && !names.contains(line.name)) names << line.name;
  }
  for (const QString& name : names) emit acknowledgeRequested(name);
}

void AlarmList::UpdateButtons() {
  bool any = false;
  bool any_selected = false;
  for (const AlarmLine& line : lines_) any = any || line.can_acknowledge;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows())
    any_selected = any_selected || lines_[static_cast<std::size_t>(index.row())].can_acknowledge;
  acknowledge_selected_->setEnabled(any_selected);
  acknowledge_all_->setEnabled(any);
}

}  // namespace kelvo_monitor
