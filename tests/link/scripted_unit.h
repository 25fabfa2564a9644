// A unit for tests that does exactly what it is told, request by request: it
// answers with given bytes (in pieces, after a delay), stays silent, or drops
// the line. Serves the master side of a real pseudo-terminal pair, or a
// loopback TCP port.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <vector>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

namespace kelvo_link_test {

// What the unit does with one request.
struct Step {
  std::vector<QByteArray> pieces;  // written one after another, a few ms apart; none: silence
  int delay_ms = 0;                // before the first piece
  bool drop = false;               // instead of answering, close the line
};

class ScriptedUnit : public QObject {
  Q_OBJECT

 public:
  enum class Transport { Pty, Tcp };

  explicit ScriptedUnit(Transport transport, QObject* parent = nullptr);
  ~ScriptedUnit() override;

  // What to open: "/dev/pts/N" or "tcp://127.0.0.1:PORT".
  [[nodiscard]] QString port() const { return port_; }
  // Step i answers request i; the last step repeats.
  void SetScript(std::vector<Step> script) { script_ = std::move(script); }
  // Every request frame received, in order.
  [[nodiscard]] const QList<QByteArray>& requests() const { return requests_; }
  // True when a request arrived while the answer to the previous one was
  // still to be written: the client broke the one-exchange-at-a-time rule.
  [[nodiscard]] bool overlapped() const { return overlapped_; }
  // Writes bytes at once, outside any script.
  void Write(const QByteArray& bytes);
  // Closes the line (the pty master, or the TCP connection; the TCP server
  // goes on listening so that the client can come back).
  void Drop();

 signals:
  void requestSeen(const QByteArray& frame);
  void dropped();

 private:
  void Received(const QByteArray& bytes);
  void Play(const Step& step);
  void WriteRaw(const QByteArray& bytes);
  void Flush();

  QString port_;
  int master_ = -1;
  int slave_ = -1;  // held open so that the master never sees a hang-up between clients
  QSocketNotifier* readable_ = nullptr;
  QSocketNotifier* writable_ = nullptr;
  QByteArray unwritten_;  // pty bytes waiting for room
  QTcpServer* server_ = nullptr;
  QTcpSocket* client_ = nullptr;
  QByteArray pending_;
  std::vector<Step> script_;
  QList<QByteArray> requests_;
  int answering_ = 0;  // answers still being written
  bool overlapped_ = false;
};

}  // namespace kelvo_link_test

Q_DECLARE_METATYPE(std::vector<kelvo_link_test::Step>)
Q_DECLARE_METATYPE(kelvo_link_test::ScriptedUnit::Transport)
