#include "site/iso_time.h"

#include <QDateTime>
#include <QString>
#include <chrono>

#include "records/record_time.h"

namespace kelvo_site {

std::optional<std::int64_t> ParseIsoTime(std::string_view text) {
  // "YYYY-MM-DDTHH:MM:SS" and an offset at least.
  if (text.size() < 20 || text.size() > 40 || text[10] != 'T') return std::nullopt;
  const bool zulu = text.back() == 'Z';
  const bool offset = text.size() >= 25 && (text[text.size() - 6] == '+' || text[text.size() - 6] == '-') &&
                      text[text.size() - 3] == ':';
  if (!zulu && !offset) return std::nullopt;
  const QDateTime t = QDateTime::fromString(
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), Qt::ISODateWithMs);
  if (!t.isValid()) return std::nullopt;
  return t.toMSecsSinceEpoch();
}

std::string FormatIsoTime(std::int64_t ms) {
  return kelvo_records::FormatTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
}

}  // namespace kelvo_site
