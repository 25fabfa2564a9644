#include "traffic_log.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "codec/frame_validation.h"

namespace kelvo_monitor {
namespace {

constexpr int kFlushMs = 200;

QString Stamp(const QDateTime& at) {
  return at.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz"));
}

// Frames are ASCII on a good day; anything else is shown escaped so that the
// log never carries control characters.
QString Printable(const QByteArray& frame) {
  QString text;
  text.reserve(frame.size());
  for (const char c : frame) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) {
      text += QLatin1Char(c);
    } else {
      text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
  }
  return text;
}

QString Hex(std::uint32_t value) {
  return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString FaultText(const codec::FrameFinding& f) {
  using codec::FrameFault;
  switch (f.fault) {
    case FrameFault::StartMark: return TrafficLog::tr("起始字符错误");
    case FrameFault::EndMark: return TrafficLog::tr("结束标识错误");
    case FrameFault::TooShort: return TrafficLog::tr("报文过短");
    case FrameFault::MessageLength: return TrafficLog::tr("数据报文长度不符");
    case FrameFault::PayloadLength: return TrafficLog::tr("数据负载长度不符");
    case FrameFault::NotUpperHex: return TrafficLog::tr("非大写十六进制字符");
    case FrameFault::PayloadOddLength: return TrafficLog::tr("数据负载长度为奇数");
    case FrameFault::LayoutShort: return TrafficLog::tr("数据负载短于字段表");
    case FrameFault::LayoutLong: return TrafficLog::tr("数据负载长于字段表");
    case FrameFault::UnknownCommand: return TrafficLog::tr("未知命令");
    case FrameFault::CheckValue: return TrafficLog::tr("校验值错误");
  }
  return TrafficLog::tr("格式错误");
}

}  // namespace

TrafficLog::TrafficLog(QWidget* parent) : QWidget(parent), view_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("traffic_log"));
  view_->setObjectName(QStringLiteral("traffic_view"));
  view_->setReadOnly(true);
  view_->setUndoRedoEnabled(false);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setMaximumBlockCount(kTrafficLines);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  flush_timer_.setSingleShot(true);
  flush_timer_.setInterval(kFlushMs);
  connect(&flush_timer_, &QTimer::timeout, this, &TrafficLog::Flush);
}

QString TrafficLog::DescribeFindings(const QByteArray& frame) {
  const auto findings = codec::ValidateFrame(std::string_view(frame.constData(), frame.size()),
                                             codec::ValidationMode::RequireKnownCommand);
  QStringList parts;
  for (const codec::FrameFinding& f : findings) {
    QString part = tr("%1 (第 %2 个字符)").arg(FaultText(f)).arg(f.position + 1);
    if (f.expected && f.actual) {
      part += tr(": 应为 %1, 实为 %2").arg(Hex(*f.expected), Hex(*f.actual));
    }
    parts << part;
  }
  return parts.join(QStringLiteral("; "));
}

void TrafficLog::AddSent(const QByteArray& frame, const QDateTime& at) {
  Add(QStringLiteral("%1 -> %2").arg(Stamp(at), Printable(frame)), false);
}

QString TrafficLog::VerdictWords(kelvo_link::AnswerVerdict verdict) {
  using kelvo_link::AnswerVerdict;
  switch (verdict) {
    case AnswerVerdict::Accepted: return tr("已接受");
    case AnswerVerdict::Echo: return tr("回显");
    case AnswerVerdict::Malformed: return tr("格式错误");
    case AnswerVerdict::WrongAddress: return tr("地址不符");
    case AnswerVerdict::WrongCommand: return tr("命令不符");
    case AnswerVerdict::Overlong: return tr("过长");
  }
  return tr("格式错误");
}

QString TrafficLog::RejectionWords(const QByteArray& frame, kelvo_link::AnswerVerdict verdict) {
  const QString findings = DescribeFindings(frame);
  return findings.isEmpty() ? VerdictWords(verdict) : VerdictWords(verdict) + QStringLiteral(": ") + findings;
}

void TrafficLog::AddSeen(const QByteArray& frame, const QDateTime& at, kelvo_link::AnswerVerdict verdict) {
  if (verdict == kelvo_link::AnswerVerdict::Accepted) {
    Add(QStringLiteral("%1 <- %2").arg(Stamp(at), Printable(frame)), false);
    return;
  }
  // The verdict first: a bad frame can be a couple of hundred characters long.
  Add(QStringLiteral("%1 <- !! %2   %3").arg(Stamp(at), RejectionWords(frame, verdict), Printable(frame)),
      verdict != kelvo_link::AnswerVerdict::Echo);
}

void TrafficLog::AddNote(const QDateTime& at, const QString& text) {
  Add(QStringLiteral("%1 -- %2").arg(Stamp(at), text), true);
}

void TrafficLog::Add(QString text, bool marked) {
  pending_.push_back({std::move(text), marked});
  // What could not be shown anyway is not kept either.
  while (pending_.size() > static_cast<std::size_t>(kTrafficLines)) pending_.pop_front();
  if (!flush_timer_.isActive()) flush_timer_.start();
}

void TrafficLog::Clear() {
  pending_.clear();
  view_->clear();
}

void TrafficLog::Flush() {
  flush_timer_.stop();
  if (pending_.empty()) return;
  QScrollBar* bar = view_->verticalScrollBar();
  const bool at_bottom = bar->value() == bar->maximum();
  QTextCharFormat plain;
  QTextCharFormat marked;
  marked.setForeground(QColor(0xc0, 0x20, 0x20));
  QTextCursor cursor(view_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  for (const Line& line : pending_) {
    if (!view_->document()->isEmpty()) cursor.insertBlock();
    cursor.insertText(line.text, line.marked ? marked : plain);
  }
  cursor.endEditBlock();
  pending_.clear();
  if (at_bottom) bar->setValue(bar->maximum());
}

}  // namespace kelvo_monitor
