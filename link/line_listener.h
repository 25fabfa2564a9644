// Watches a port without ever writing to it and reports every frame seen on
// the line: for listening in on a bus that another host drives.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>

#include "codec/frame_scanner.h"
#include "link/link_error.h"
#include "link/port_settings.h"

namespace kelvo_link {

class PortConnection;

class LineListener : public QObject {
  Q_OBJECT

 public:
  explicit LineListener(PortSettings settings, QObject* parent = nullptr);
  ~LineListener() override;

  // As LinkClient: opened() or openFailed() follows from the event loop;
  // after a loss the port is reopened every interval (default 1000 ms, 0: off).
  void Open();
  void Close();
  void SetReconnectInterval(int ms);

 signals:
  void opened();
  void openFailed(kelvo_link::LinkError error, const QString& message);
  void linkLost(const QString& message);
  // Every "<...>" frame, well formed or not, up to the longest frame the
  // length field can state.
  void frameSeen(const QByteArray& frame, const QDateTime& at);
  // A "<" not closed within that length: dropped.
  void overlongDropped(const QDateTime& at);

 private:
  void Received(const QByteArray& bytes);

  PortConnection* port_;
  codec::FrameScanner scanner_{codec::kWireFrameCap};
};

}  // namespace kelvo_link
