// The colours of an alarm's severity, the same in the values table, the cell
// bars, the alarm list and the banner: a strong background with a text colour
// of its own, so that both read alike in a light theme and a dark one.
#pragma once

#include <QColor>

#include "alarms/alarm_rule.h"

namespace kelvo_monitor {

struct SeverityLook {
  QColor background;
  QColor text;
};

[[nodiscard]] inline SeverityLook LookOf(kelvo_alarms::Severity severity) {
  if (severity == kelvo_alarms::Severity::Critical)
    return {QColor(0xc6, 0x28, 0x28), QColor(0xff, 0xff, 0xff)};
  return {QColor(0xf5, 0xa6, 0x23), QColor(0x00, 0x00, 0x00)};
}

[[nodiscard]] constexpr kelvo_alarms::Severity Worse(kelvo_alarms::Severity a,
                                                     kelvo_alarms::Severity b) noexcept {
  return a == kelvo_alarms::Severity::Critical ? a : b;
}

}  // namespace kelvo_monitor
