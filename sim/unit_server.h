// The wire side of a simulated unit: serves a SimulatedUnit, with its faults,
// on a new pseudo-terminal, on a serial device, or on a TCP port (several
// clients at once, each a line of its own). Lives on the event loop; nothing
// blocks.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/faults.h"
#include "sim/simulated_unit.h"

class QIODevice;
class QSerialPort;
class QSocketNotifier;
class QTcpServer;

namespace kelvo_sim {

class UnitChannel;

// Why `tcp_url` is not an address Listen takes; none when it is.
[[nodiscard]] std::optional<QString> ListenAddressProblem(const QString& tcp_url);

class UnitServer : public QObject {
  Q_OBJECT
 public:
  explicit UnitServer(SimulatedUnit unit, Faults faults = {}, QObject* parent = nullptr);
  ~UnitServer() override;

  // Creates a pseudo-terminal in raw mode and serves its master side; the
  // path a client opens (/dev/pts/N) goes to `path_out`. False with
  // errorString() when the system refuses one.
  bool ServePty(QString* path_out);
  // Opens the serial device at `path` (9600 baud, 8N1) and serves it.
  bool ServeDevice(const QString& path);
  // Listens on "tcp://HOST:PORT" (HOST an IP address, "localhost" or "*";
  // PORT 0 picks a free one).
  bool Listen(const QString& tcp_url);

  [[nodiscard]] quint16 tcpPort() const;
  // "tcp://127.0.0.1:40123": where Listen actually listens.
  [[nodiscard]] QString listenAddress() const;
  [[nodiscard]] QString errorString() const { return error_; }
  [[nodiscard]] SimulatedUnit& unit() noexcept { return unit_; }

 signals:
  // Every frame read from any line, well formed or not.
  void requestSeen(const QByteArray& frame);
  // Every answer once its last byte is written.
  void answerSent(const QByteArray& frame);
  // The served serial device failed (unplugged, read error); it is closed.
  void lineLost(const QString& message);

 private:
  Delivery Handle(std::string_view frame);
  UnitChannel* NewChannel(std::function<bool(std::string_view)> write, QObject* parent);
  // Serves the unit on an open serial device or TCP client; the channel goes
  // with the line.
  void ServeLine(QIODevice* line);
  void ReadPty();
  bool WritePty(std::string_view bytes);
  void FlushPty();
  void ClosePty();

  SimulatedUnit unit_;
  Faults faults_;
  QString error_;
  int pty_master_ = -1;
  int pty_slave_ = -1;  // held open so the master never sees a hang-up between clients
  QSocketNotifier* pty_readable_ = nullptr;
  QSocketNotifier* pty_writable_ = nullptr;
  std::string pty_unwritten_;
  UnitChannel* pty_channel_ = nullptr;
  QSerialPort* device_ = nullptr;
  QTcpServer* tcp_ = nullptr;
};

}  // namespace kelvo_sim
