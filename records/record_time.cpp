#include "records/record_time.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kelvo_records {

std::string FormatTime(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
  // Floor, so that times before 1970 keep a millisecond part of 0-999.
  const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  const int millis = static_cast<int>(ms - static_cast<long long>(seconds) * 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  // Offsets on Earth stay within a day.
  const int offset_minutes = static_cast<int>(local.tm_gmtoff / 60 % (24 * 60));
  const int offset = std::abs(offset_minutes);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis,
                offset_minutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

}  // namespace kelvo_records
