// One line the unit is served on (a pseudo-terminal, a serial device or one
// TCP client): requests scanned out of what arrives, and the pieces of each
// delivery written in order, their gaps kept with a timer.
#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "codec/frame_scanner.h"
#include "sim/faults.h"

namespace kelvo_sim {

class UnitChannel : public QObject {
  Q_OBJECT
 public:
  // `deliver` answers one request frame; `write` puts bytes on the line and
  // says whether they were taken (false: the line's buffer is full, dropped).
  UnitChannel(std::function<Delivery(std::string_view)> deliver, std::function<bool(std::string_view)> write,
              QObject* parent = nullptr);

  // Takes bytes read from the line and answers every frame among them.
  void Received(std::string_view bytes);

 signals:
  void answerWritten(const QByteArray& frame);

 private:
  struct Pending {
    Piece piece;
    std::string answer;  // the whole answer, on its last piece
  };
  void Pump();

  std::function<Delivery(std::string_view)> deliver_;
  std::function<bool(std::string_view)> write_;
  codec::FrameScanner scanner_;
  std::deque<Pending> queue_;
  QTimer gap_;
};

}  // namespace kelvo_sim
