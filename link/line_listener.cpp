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
  // The scanner reads `bytes` in place until Next() runs dry: they belong to
  // the port's read, which outlives this call whatever the handlers do.
  scanner_.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  while (const std::optional<codec::ScanEvent> event = scanner_.Next()) {
    const QDateTime at = QDateTime::currentDateTimeUtc();
    if (event->kind == codec::ScanEvent::Kind::Overlong) {
      emit overlongDropped(at);
    } else {
      emit frameSeen(QByteArray(event->frame.data(), static_cast<qsizetype>(event->frame.size())), at);
    }
    if (!self) return;
  }
}

}  // namespace kelvo_link
