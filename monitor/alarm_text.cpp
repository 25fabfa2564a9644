#include "alarm_text.h"

#include <QCoreApplication>
#include <optional>

#include "profile/value_meaning.h"
#include "profile_text.h"

namespace kelvo_monitor {
namespace {

using kelvo_alarms::AlarmRule;
using kelvo_alarms::Severity;

QString SeverityText(Severity severity) {
  return severity == Severity::Critical ? QCoreApplication::translate("kelvo_monitor::AlarmText", "严重")
                                        : QCoreApplication::translate("kelvo_monitor::AlarmText", "警告");
}

QString Watched(std::string_view name, const AlarmRule* rule, const kelvo_profile::Profile* profile) {
  if (!rule) {
    return name == kelvo_alarms::kBusDownAlarm
               ? QCoreApplication::translate("kelvo_monitor::AlarmText", "连接")
               : QCoreApplication::translate("kelvo_monitor::AlarmText", "设备应答");
  }
  const QString key = QString::fromStdString(rule->value);
  const kelvo_profile::ProfileField* field = profile ? profile->FieldForKey(rule->value) : nullptr;
  return field ? FieldTitle(field, key) : DerivedTitle(rule->value);
}

// A number of the rule's value in its unit: to the value's decimals, or as
// written in the rules for a threshold (which may be finer).
QString Amount(double number, const AlarmRule& rule, const kelvo_profile::Profile* profile, bool as_given) {
  const std::optional<kelvo_profile::ValueMeaning> meaning =
      profile ? kelvo_profile::MeaningOf(*profile, rule.value) : std::nullopt;
  const QString text =
      !meaning || as_given ? QString::number(number, 'g', 12) : NumberText(number, meaning->decimals);
  return WithUnit(text, meaning ? meaning->unit : std::string());
}

QString Threshold(const AlarmRule& rule, const kelvo_profile::Profile* profile) {
  switch (rule.comparison) {
    case kelvo_alarms::Comparison::Above:
      return QStringLiteral("> ") + Amount(rule.threshold, rule, profile, true);
    case kelvo_alarms::Comparison::Below:
      return QStringLiteral("< ") + Amount(rule.threshold, rule, profile, true);
    case kelvo_alarms::Comparison::Nonzero: return QStringLiteral("≠ 0");
  }
  return {};
}

QString Element(std::optional<int> element) {
  return element ? QCoreApplication::translate("kelvo_monitor::AlarmText", "%1 号").arg(*element) : QString();
}

}  // namespace

QDateTime LocalTime(kelvo_alarms::TimePoint t) {
  return QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
}

AlarmLine LineOf(const ShownAlarm& shown, const AlarmRule* rule, const kelvo_profile::Profile* profile) {
  const kelvo_alarms::ActiveAlarm& a = shown.alarm;
  AlarmLine line;
  line.name = QString::fromStdString(a.name);
  line.severity = a.severity;
  line.can_acknowledge = !shown.bus && (a.latched || !a.acknowledged);
  line.watched = Watched(a.name, rule, profile);
  line.severity_text = SeverityText(a.severity);
  if (rule && a.value) line.value = Amount(*a.value, *rule, profile, false);
  if (rule) line.threshold = Threshold(*rule, profile);
  line.element = Element(a.element);
  const QDateTime since = LocalTime(a.since);
  line.since = since.toString(since.date() == QDate::currentDate() ? QStringLiteral("HH:mm:ss")
                                                                   : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  if (shown.bus) {
    line.state = QCoreApplication::translate("kelvo_monitor::AlarmText", "连接恢复时消除");
  } else if (a.latched) {
    line.state = QCoreApplication::translate("kelvo_monitor::AlarmText", "已锁存: 已恢复, 待确认");
  } else if (a.acknowledged) {
    line.state = QCoreApplication::translate("kelvo_monitor::AlarmText", "已确认");
  } else {
    line.state = QCoreApplication::translate("kelvo_monitor::AlarmText", "未确认");
  }
  return line;
}

QString EventText(const kelvo_alarms::AlarmEvent& event, const AlarmRule* rule,
                  const kelvo_profile::Profile* profile) {
  QString name = QString::fromStdString(event.name);
  if (event.element) name += QStringLiteral(" (%1)").arg(Element(event.element));
  switch (event.state) {
    case kelvo_alarms::AlarmState::Raised: {
      QString text = QCoreApplication::translate("kelvo_monitor::AlarmText", "告警 %1 触发 (%2)")
                         .arg(name, SeverityText(event.severity));
      if (rule && event.value) {
        text += QCoreApplication::translate("kelvo_monitor::AlarmText", ": %1, 阈值 %2")
                    .arg(Amount(*event.value, *rule, profile, false), Threshold(*rule, profile));
      }
      return text;
    }
    case kelvo_alarms::AlarmState::Cleared:
      return QCoreApplication::translate("kelvo_monitor::AlarmText", "告警 %1 消除").arg(name);
    case kelvo_alarms::AlarmState::Acknowledged:
      return QCoreApplication::translate("kelvo_monitor::AlarmText", "告警 %1 已确认").arg(name);
  }
  return name;
}

}  // namespace kelvo_monitor
