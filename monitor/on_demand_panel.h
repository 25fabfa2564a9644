// Requests the user asks for, between polls: the device information (0x48),
// one register (0x65) or several (0x66); the decoded answer is shown here.
#pragma once

#include <QByteArray>
#include <QWidget>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kelvo_link {
class Exchange;
}

namespace kelvo_monitor {

class OnDemandPanel : public QWidget {
  Q_OBJECT
 public:
  explicit OnDemandPanel(QWidget* parent = nullptr);

  // Requests go to this address.
  void SetAddress(int address) { address_ = address; }
  // Without a connection the buttons are off.
  void SetConnected(bool connected);
  // The answer (or failure) of a request this panel asked for.
  void ShowResult(const kelvo_link::Exchange& exchange);

  // Register addresses as hex text ("0026", "26 27,30"): the payload of 0x66,
  // or none with a reason when the text holds no address, a bad one, or too many.
  [[nodiscard]] static std::optional<QByteArray> RegistersPayload(const QString& text, QString* why);
  // The payload of 0x48 with the host time `unix_seconds`.
  [[nodiscard]] static QByteArray DeviceInfoPayload(qint64 unix_seconds);

 signals:
  void requested(const QByteArray& request);

 private:
  void Ask(const char* command, const QByteArray& payload);

  QPushButton* device_info_;
  QLineEdit* register_;
  QPushButton* read_one_;
  QLineEdit* registers_;
  QPushButton* read_many_;
  QLabel* status_;
  QTableWidget* result_;
  int address_ = 0;
};

}  // namespace kelvo_monitor
