#include "sim/unit_channel.h"

#include <exception>

namespace kelvo_sim {
namespace {

// Requests queued behind delayed answers; a client that floods the line past
// this loses the newest.
constexpr std::size_t kMaxQueuedPieces = 4096;

}  // namespace

UnitChannel::UnitChannel(std::function<Delivery(std::string_view)> deliver,
                         std::function<bool(std::string_view)> write, QObject* parent)
    : QObject(parent),
      deliver_(std::move(deliver)),
      write_(std::move(write)),
      scanner_(codec::kWireFrameCap) {
  gap_.setSingleShot(true);
  gap_.setTimerType(Qt::PreciseTimer);
  connect(&gap_, &QTimer::timeout, this, [this] {
    if (!queue_.empty()) queue_.front().piece.gap_ms = 0;
    Pump();
  });
}

void UnitChannel::Received(std::string_view bytes) {
  try {
    scanner_.Feed(bytes);
    while (const auto event = scanner_.Next()) {
      if (event->kind != codec::ScanEvent::Kind::Frame) continue;
      Delivery delivery = deliver_(event->frame);
      for (Piece& piece : delivery.pieces) {
        if (queue_.size() >= kMaxQueuedPieces) break;
        std::string answer = piece.ends_answer && delivery.answer ? *delivery.answer : std::string();
        queue_.push_back({std::move(piece), std::move(answer)});
      }
    }
  } catch (const std::exception&) {
    scanner_.Reset();  // out of memory: what was read is lost, the line goes on
  }
  if (!gap_.isActive()) Pump();
}

void UnitChannel::Pump() {
  while (!queue_.empty()) {
    Pending& next = queue_.front();
    if (next.piece.gap_ms > 0) {
      gap_.start(next.piece.gap_ms);
      return;
    }
    if (write_(next.piece.bytes) && next.piece.ends_answer) {
      emit answerWritten(QByteArray::fromStdString(next.answer));
    }
    queue_.pop_front();
  }
}

}  // namespace kelvo_sim
