#include "link/line_listener.h"

#include <QPointer>

#include "link/port_connection.h"

namespace kelvo_link {

LineListener::LineListener(PortSettings settings, QObject* parent)
    : QObject(parent), port_(new PortConnection(std::move(settings), this)) {
  connect(port_, &PortConnection::opened, this, [this] {
    scanner_.Reset();
    emit opened();
  });
  connect(port_, &PortConnection::openFailed, this, &LineListener::openFailed);
  connect(port_, &PortConnection::lost, this, &LineListener::linkLost);
  connect(port_, &PortConnection::received, this, &LineListener::Received);
}

LineListener::~LineListener() {
  port_->disconnect(this);
  port_->Close();
}

void LineListener::Open() {
  port_->Open();
}

void LineListener::Close() {
  port_->Close();
}

void LineListener::SetReconnectInterval(int ms) {
  port_->SetReconnectInterval(ms);
}

void LineListener::Received(const QByteArray& bytes) {
  QPointer<LineListener> self(this);
  const QByteArray chunk = bytes;  // read in place by the scanner until Next() runs dry
  scanner_.Feed(std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())));
  while (const std::optional<codec::ScanEvent> event = scanner_.Next()) {
    const QDateTime at = QDateTime::currentDateTime();
    if (event->kind == codec::ScanEvent::Kind::Overlong) {
      emit overlongDropped(at);
    } else {
      emit frameSeen(QByteArray(event->frame.data(), static_cast<qsizetype>(event->frame.size())), at);
    }
    if (!self) return;
  }
}

}  // namespace kelvo_link
