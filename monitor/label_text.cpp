#include "label_text.h"

#include <string>

#include "text/gbk_text.h"

namespace kelvo_monitor {

QString LabelText(std::string_view gbk) {
  static kelvo_text::GbkToUtf8 converter;
  std::string utf8;
  try {
    converter.AppendLasting(gbk, utf8);
  } catch (const std::runtime_error&) {
    // No GBK converter on this machine: the label's ASCII part still reads.
    return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
  }
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace kelvo_monitor
