#include "connection_bar.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "codec/requests.h"
#include "command_line.h"
#include "link/serial_ports.h"

namespace kelvo_monitor {

PortPicker::PortPicker(QWidget* parent) : QComboBox(parent) {
  setObjectName(QStringLiteral("port"));
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  // Narrow enough for the window to fit 800 pixels; the box stretches when there is room.
  setMinimumContentsLength(14);
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  lineEdit()->setPlaceholderText(tr("/dev/ttyUSB0 或 tcp://主机:端口"));
  // Picking a listed port puts its path, not its description, in the box.
  connect(this, &QComboBox::activated, this, [this](int index) {
    const QString path = itemData(index).toString();
    if (!path.isEmpty()) setEditText(path);
  });
}

void PortPicker::Refresh() {
  const QString typed = currentText();
  const QSignalBlocker block(this);
  clear();
  for (const kelvo_link::SerialPortEntry& entry : kelvo_link::ListSerialPorts()) {
    QString text = entry.path;
    QStringList about;
    if (!entry.description.isEmpty()) about << entry.description;
    if (entry.vid && entry.pid) {
      about << QStringLiteral("%1:%2")
                   .arg(*entry.vid, 4, 16, QLatin1Char('0'))
                   .arg(*entry.pid, 4, 16, QLatin1Char('0'));
    }
    if (!about.isEmpty()) text += QStringLiteral("  (") + about.join(QStringLiteral(", ")) + QLatin1Char(')');
    addItem(text, entry.path);
  }
  setEditText(typed);
}

void PortPicker::showPopup() {
  Refresh();
  QComboBox::showPopup();
}

QString PortPicker::port() const {
  QString text = currentText().trimmed();
  // A listed entry taken as it stands: its path.
  const int index = findText(text);
  if (index >= 0 && !itemData(index).toString().isEmpty()) return itemData(index).toString();
  return text;
}

void PortPicker::SetPort(const QString& port) {
  setEditText(port);
}

ConnectionBar::ConnectionBar(QWidget* parent)
    : QWidget(parent),
      port_(new PortPicker(this)),
      baud_(new QComboBox(this)),
      address_(new QSpinBox(this)),
      interval_(new QSpinBox(this)),
      connect_(new QPushButton(this)) {
  setObjectName(QStringLiteral("connection_bar"));
  baud_->setObjectName(QStringLiteral("baud"));
  baud_->setEditable(true);
  for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
    baud_->addItem(QString::number(rate));
  baud_->setValidator(new QIntValidator(1, 4'000'000, baud_));
  address_->setObjectName(QStringLiteral("address"));
  address_->setRange(codec::kLowestAddress, codec::kHighestAddress);
  interval_->setObjectName(QStringLiteral("interval"));
  interval_->setRange(kMinIntervalMs, kMaxIntervalMs);
  interval_->setSingleStep(100);
  interval_->setSuffix(QStringLiteral(" ms"));
  connect_->setObjectName(QStringLiteral("connect"));
  connect(connect_, &QPushButton::clicked, this, [this] {
    if (connected_) {
      emit disconnectRequested();
    } else {
      emit connectRequested();
    }
  });
  connect(port_->lineEdit(), &QLineEdit::returnPressed, this, [this] {
    if (!connected_) emit connectRequested();
  });

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  auto add = [&](const QString& text, QWidget* field, int stretch = 0) {
    auto* label = new QLabel(text, this);
    label->setBuddy(field);
    layout->addWidget(label);
    layout->addWidget(field, stretch);
  };
  add(tr("端口(&P)"), port_, 1);
  add(tr("波特率(&B)"), baud_);
  add(tr("地址(&A)"), address_);
  add(tr("间隔(&I)"), interval_);
  layout->addWidget(connect_);
  SetBaud(9600);
  SetInterval(1000);
  SetConnected(false);
}

QString ConnectionBar::port() const {
  return port_->port();
}
qint32 ConnectionBar::baud() const {
  return baud_->currentText().toInt();
}
int ConnectionBar::address() const {
  return address_->value();
}
int ConnectionBar::interval() const {
  return interval_->value();
}
void ConnectionBar::SetPort(const QString& port) {
  port_->SetPort(port);
}
void ConnectionBar::SetBaud(qint32 baud) {
  baud_->setEditText(QString::number(baud));
}
void ConnectionBar::SetAddress(int address) {
  address_->setValue(address);
}
void ConnectionBar::SetInterval(int ms) {
  interval_->setValue(ms);
}

void ConnectionBar::SetConnected(bool connected) {
  connected_ = connected;
  connect_->setText(connected ? tr("断开(&D)") : tr("连接(&C)"));
  for (QWidget* w : {static_cast<QWidget*>(port_), static_cast<QWidget*>(baud_),
                     static_cast<QWidget*>(address_), static_cast<QWidget*>(interval_)}) {
    w->setEnabled(!connected);
  }
}

}  // namespace kelvo_monitor
