#include "on_demand_panel.h"

#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTableWidget>

#include "answer_fields.h"
#include "codec/request_builder.h"
#include "codec/requests.h"
#include "link/exchange.h"

namespace kelvo_monitor {
namespace {

// One count byte and two bytes an address must fit the longest request.
constexpr int kMostRegisters = 50;

QString Hex4(quint32 value) {
  return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

OnDemandPanel::OnDemandPanel(QWidget* parent)
    : QWidget(parent),
      device_info_(new QPushButton(tr("读取设备信息"), this)),
      register_(new QLineEdit(QStringLiteral("0026"), this)),
      read_one_(new QPushButton(tr("读取寄存器"), this)),
      registers_(new QLineEdit(QStringLiteral("0026 0027"), this)),
      read_many_(new QPushButton(tr("读取多个寄存器"), this)),
      status_(new QLabel(this)),
      result_(new QTableWidget(0, 3, this)) {
  setObjectName(QStringLiteral("on_demand"));
  device_info_->setObjectName(QStringLiteral("device_info"));
  register_->setObjectName(QStringLiteral("register"));
  read_one_->setObjectName(QStringLiteral("read_register"));
  registers_->setObjectName(QStringLiteral("registers"));
  read_many_->setObjectName(QStringLiteral("read_registers"));
  status_->setObjectName(QStringLiteral("on_demand_status"));
  result_->setObjectName(QStringLiteral("on_demand_result"));
  register_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{1,4}")), register_));
  register_->setToolTip(tr("寄存器地址, 十六进制"));
  registers_->setToolTip(tr("寄存器地址, 十六进制, 以空格或逗号分隔"));
  result_->setHorizontalHeaderLabels({tr("名称"), tr("数值"), tr("十六进制")});
  result_->verticalHeader()->setVisible(false);
  result_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  result_->horizontalHeader()->setStretchLastSection(true);
  result_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setWordWrap(true);

  auto* form = new QFormLayout;
  form->addRow(device_info_);
  auto* one = new QHBoxLayout;
  one->addWidget(register_);
  one->addWidget(read_one_);
  form->addRow(tr("寄存器地址"), one);
  auto* many = new QHBoxLayout;
  many->addWidget(registers_, 1);
  many->addWidget(read_many_);
  form->addRow(tr("寄存器地址数组"), many);
  form->addRow(status_);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(form, 1);
  layout->addWidget(result_, 2);

  connect(device_info_, &QPushButton::clicked, this,
          [this] { Ask("48", DeviceInfoPayload(QDateTime::currentSecsSinceEpoch())); });
  connect(read_one_, &QPushButton::clicked, this, [this] {
    bool ok = false;
    const uint value = register_->text().toUInt(&ok, 16);
    if (!ok) {
      status_->setText(tr("寄存器地址应为 1 到 4 位十六进制数"));
      return;
    }
    Ask("65", Hex4(value).toLatin1());
  });
  connect(read_many_, &QPushButton::clicked, this, [this] {
    QString why;
    const auto payload = RegistersPayload(registers_->text(), &why);
    if (!payload) {
      status_->setText(why);
      return;
    }
    Ask("66", *payload);
  });
  SetConnected(false);
}

QByteArray OnDemandPanel::DeviceInfoPayload(qint64 unix_seconds) {
  // The request's payload, as its frame carries it.
  const std::string frame = codec::DeviceInfoRequest(0, static_cast<std::time_t>(unix_seconds)).frame;
  return QByteArray::fromStdString(
      frame.substr(codec::kPayloadAt, frame.size() - codec::kPayloadAt - codec::kTrailerWidth));
}

std::optional<QByteArray> OnDemandPanel::RegistersPayload(const QString& text, QString* why) {
  static const QRegularExpression kSeparators(QStringLiteral("[\\s,;]+"));
  const QStringList words = text.split(kSeparators, Qt::SkipEmptyParts);
  auto fail = [&](const QString& reason) {
    if (why) *why = reason;
    return std::nullopt;
  };
  if (words.isEmpty()) return fail(tr("请输入至少一个寄存器地址"));
  if (words.size() > kMostRegisters) return fail(tr("最多 %1 个寄存器地址").arg(kMostRegisters));
  QByteArray payload = QStringLiteral("%1").arg(words.size(), 2, 16, QLatin1Char('0')).toUpper().toLatin1();
  for (const QString& word : words) {
    bool ok = false;
    const uint value = word.toUInt(&ok, 16);
    if (!ok || word.size() > 4) return fail(tr("'%1' 不是 1 到 4 位十六进制数").arg(word));
    payload += Hex4(value).toLatin1();
  }
  return payload;
}

void OnDemandPanel::SetConnected(bool connected) {
  for (QWidget* w : {static_cast<QWidget*>(device_info_), static_cast<QWidget*>(read_one_),
                     static_cast<QWidget*>(read_many_)}) {
    w->setEnabled(connected);
  }
}

void OnDemandPanel::Ask(const char* command, const QByteArray& payload) {
  const std::string frame =
      codec::EncodeRequest(address_, command, std::string_view(payload.constData(), payload.size()));
  status_->setText(tr("已发送 %1, 等待应答...").arg(QString::fromStdString(frame)));
  emit requested(QByteArray::fromStdString(frame));
}

void OnDemandPanel::ShowResult(const kelvo_link::Exchange& exchange) {
  if (!exchange.ok()) {
    status_->setText(
        tr("%1: 无有效应答 (%2)").arg(QString::fromLatin1(exchange.request()), exchange.reason()));
    return;
  }
  const QByteArray answer = exchange.answer();
  status_->setText(
      tr("应答 %1 ms: %2").arg(exchange.latencyMs(), 0, 'f', 1).arg(QString::fromLatin1(answer)));
  const auto fields = ReadAnswerFields(std::string_view(answer.constData(), answer.size()));
  result_->setRowCount(static_cast<int>(fields.size()));
  for (int r = 0; r < static_cast<int>(fields.size()); ++r) {
    const QString texts[] = {fields[r].label, fields[r].DecimalText(), fields[r].hex};
    for (int c = 0; c < 3; ++c) result_->setItem(r, c, new QTableWidgetItem(texts[c]));
  }
}

}  // namespace kelvo_monitor
