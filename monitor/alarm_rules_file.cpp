#include "alarm_rules_file.h"

#include <QFile>

#include "alarms/alarm_rule_reader.h"

namespace kelvo_monitor {

std::shared_ptr<const kelvo_alarms::AlarmRules> LoadAlarmRulesFile(const QString& path,
                                                                   const kelvo_profile::Profile* profile,
                                                                   QString* why) {
  kelvo_alarms::AlarmRulesLoad load =
      kelvo_alarms::LoadAlarmRules(QFile::encodeName(path).toStdString(), profile);
  if (load.error) {
    if (why) *why = QString::fromStdString(load.error->text);
    return nullptr;
  }
  return std::make_shared<const kelvo_alarms::AlarmRules>(std::move(*load.rules));
}

std::shared_ptr<const kelvo_alarms::AlarmRules> NoAlarmRules() {
  return std::make_shared<const kelvo_alarms::AlarmRules>();
}

}  // namespace kelvo_monitor
