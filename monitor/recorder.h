// Records valid answers to a CSV file through the shared record writer, in
// the very format of `kelvo-frame poll --format csv`. Each row reaches the
// file whole, in one write, as soon as it is made.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <memory>

namespace kelvo_records {
class RecordWriter;
}

namespace kelvo_monitor {

class Recorder {
 public:
  Recorder();
  ~Recorder();

  // Starts a new file at `path` (replacing one there); false with the reason
  // in `error` when it cannot be made. A recording under way is ended first.
  bool Start(const QString& path, QString* error);
  void Stop();
  [[nodiscard]] bool recording() const { return file_.isOpen(); }
  [[nodiscard]] QString path() const { return file_.fileName(); }
  [[nodiscard]] qint64 rows() const { return rows_; }

  // Writes one answer; false with the reason when the file refuses it (the
  // recording then stops: a disk that is full stays full). What was written
  // of a refused row is taken back, so the file keeps only whole rows.
  bool Write(const QByteArray& frame, const QDateTime& at, int address, double latency_ms, QString* error);

 private:
  QFile file_;
  std::unique_ptr<kelvo_records::RecordWriter> writer_;
  qint64 rows_ = 0;
};

}  // namespace kelvo_monitor
