// Requests the user asks for, between polls: the device information (0x48),
// one register (0x65) or several (0x66); the decoded answer is shown here.
#pragma once

#include <QByteArray>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace codec {
struct BuiltRequest;
}
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

  // Register addresses as hex text ("0026", "26 27,30"), in the order given;
  // none with a reason when the text holds no address, a bad one, or more
  // than one request may ask for.
  [[nodiscard]] static std::optional<std::vector<std::uint16_t>> RegisterAddresses(const QString& text,
                                                                                   QString* why);

 signals:
  void requested(const QByteArray& request);

 private:
  void Ask(const codec::BuiltRequest& request);

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
