#include "recorder.h"

#include <chrono>

#include "records/record_writer.h"

namespace kelvo_monitor {

Recorder::Recorder() = default;
Recorder::~Recorder() {
  Stop();
}

bool Recorder::Start(const QString& path, QString* error) {
  Stop();
  file_.setFileName(path);
  // Unbuffered: every row goes to the file in one write of its own.
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    if (error) *error = QStringLiteral("%1: %2").arg(path, file_.errorString());
    return false;
  }
  writer_ = std::make_unique<kelvo_records::RecordWriter>(kelvo_records::RecordFormat::Csv);
  rows_ = 0;
  return true;
}

void Recorder::Stop() {
  if (file_.isOpen()) file_.close();
  writer_.reset();
}

bool Recorder::Write(const QByteArray& frame, const QDateTime& at, int address, double latency_ms,
                     QString* error) {
  if (!recording()) return false;
  const kelvo_records::Record record{
      std::chrono::system_clock::time_point(std::chrono::milliseconds(at.toMSecsSinceEpoch())), address,
      frame.toStdString(), latency_ms};
  const std::string lines = writer_->Lines(record);
  const qint64 whole_up_to = file_.pos();
  if (file_.write(lines.data(), static_cast<qint64>(lines.size())) != static_cast<qint64>(lines.size())) {
    if (error) *error = QStringLiteral("%1: %2").arg(file_.fileName(), file_.errorString());
    // A row cut short by a full disk is taken back, so the file ends on a whole row.
    if (!file_.isSequential()) file_.resize(whole_up_to);
    Stop();
    return false;
  }
  ++rows_;
  return true;
}

}  // namespace kelvo_monitor
