// Where and how to connect: a port picker listing the machine's serial ports
// (refreshed each time it opens) in which a path or tcp://HOST:PORT can be
// typed, baud rate, address, polling interval, and Connect / Disconnect.
#pragma once

#include <QComboBox>
#include <QWidget>

class QPushButton;
class QSpinBox;

namespace kelvo_monitor {

// A combo box that lists the serial ports afresh whenever its list opens.
class PortPicker : public QComboBox {
  Q_OBJECT
 public:
  explicit PortPicker(QWidget* parent = nullptr);
  void showPopup() override;
  void Refresh();
  // The path typed or picked (a listed port's path, not its description).
  [[nodiscard]] QString port() const;
  void SetPort(const QString& port);
};

class ConnectionBar : public QWidget {
  Q_OBJECT
 public:
  explicit ConnectionBar(QWidget* parent = nullptr);

  [[nodiscard]] QString port() const;
  [[nodiscard]] qint32 baud() const;
  [[nodiscard]] int address() const;
  [[nodiscard]] int interval() const;
  void SetPort(const QString& port);
  void SetBaud(qint32 baud);
  void SetAddress(int address);
  void SetInterval(int ms);
  // Connected: the button offers Disconnect and the settings are locked.
  void SetConnected(bool connected);

 signals:
  void connectRequested();
  void disconnectRequested();

 private:
  PortPicker* port_;
  QComboBox* baud_;
  QSpinBox* address_;
  QSpinBox* interval_;
  QPushButton* connect_;
  bool connected_ = false;
};

}  // namespace kelvo_monitor
