#include "framework/system_text.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <stdexcept>

namespace fw {
namespace {

// Most text is ASCII (frames, the start-up values); it skips the converter,
// which is costly to open.
bool IsAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string ToSystemText(QStringView text) {
  const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
  if (ascii) {
    const QByteArray latin = text.toLatin1();
    return std::string(latin.constData(), static_cast<std::size_t>(latin.size()));
  }
  QStringEncoder encoder("GBK");
  if (!encoder.isValid()) throw std::runtime_error("no GBK converter");
  const QByteArray gbk = encoder.encode(text);
  return std::string(gbk.constData(), static_cast<std::size_t>(gbk.size()));
}

QString FromSystemText(std::string_view bytes) {
  if (IsAscii(bytes)) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QStringDecoder decoder("GBK");
  if (!decoder.isValid()) throw std::runtime_error("no GBK converter");
  return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace fw
