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
#include "codec/requests.h"
#include "link/exchange.h"

namespace kelvo_monitor {
namespace {

constexpr auto kMostRegisters = static_cast<qsizetype>(codec::kMostRegisters);

// 1 to 4 hex digits, as a register address.
std::optional<std::uint16_t> ReadRegister(const QString& word) {
  bool ok = false;
  const uint value = word.toUInt(&ok, 16);
  if (!ok || word.isEmpty() || word.size() > 4) return std::nullopt;
  return static_cast<std::uint16_t>(value);
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
          [this] { Ask(codec::DeviceInfoRequest(address_, QDateTime::currentSecsSinceEpoch())); });
  connect(read_one_, &QPushButton::clicked, this, [this] {
    const std::optional<std::uint16_t> register_address = ReadRegister(register_->text());
    if (!register_address) {
      status_->setText(tr("寄存器地址应为 1 到 4 位十六进制数"));
      return;
    }
    Ask(codec::RegisterRequest(address_, *register_address));
  });
  connect(read_many_, &QPushButton::clicked, this, [this] {
    QString why;
    const auto addresses = RegisterAddresses(registers_->text(), &why);
    if (!addresses) {
      status_->setText(why);
      return;
    }
    Ask(codec::RegistersRequest(address_, *addresses));
  });
  SetConnected(false);
}

std::optional<std::vector<std::uint16_t>> OnDemandPanel::RegisterAddresses(const QString& text,
                                                                           QString* why) {
  static const QRegularExpression kSeparators(QStringLiteral("[\\s,;]+"));
  const QStringList words = text.split(kSeparators, Qt::SkipEmptyParts);
  auto fail = [&](const QString& reason) {
    if (why) *why = reason;
    return std::nullopt;
  };
  if (words.isEmpty()) return fail(tr("请输入至少一个寄存器地址"));
  if (words.size() > kMostRegisters) return fail(tr("最多 %1 个寄存器地址").arg(kMostRegisters));
  std::vector<std::uint16_t> addresses;
  for (const QString& word : words) {
    const std::optional<std::uint16_t> value = ReadRegister(word);
    if (!value) return fail(tr("'%1' 不是 1 到 4 位十六进制数").arg(word));
    addresses.push_back(*value);
  }
  return addresses;
}

void OnDemandPanel::SetConnected(bool connected) {
  for (QWidget* w : {static_cast<QWidget*>(device_info_), static_cast<QWidget*>(read_one_),
                     static_cast<QWidget*>(read_many_)}) {
    w->setEnabled(connected);
  }
}

void OnDemandPanel::Ask(const codec::BuiltRequest& request) {
  if (!request.ok()) {
    status_->setText(QString::fromStdString(codec::RequestFaultText(request.fault)));
    return;
  }
  const std::string& frame = request.frame;
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
