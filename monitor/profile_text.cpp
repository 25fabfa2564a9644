#include "profile_text.h"

#include <QCoreApplication>
#include <QStringList>
#include <cmath>

namespace kelvo_monitor {
namespace {

struct DerivedName {
  std::string_view key;
  const char* title;
};
constexpr DerivedName kDerivedNames[] = {
    {"current", QT_TRANSLATE_NOOP("kelvo_monitor::ProfileText", "电流")},
    {"power", QT_TRANSLATE_NOOP("kelvo_monitor::ProfileText", "功率")},
    {"cell_min", QT_TRANSLATE_NOOP("kelvo_monitor::ProfileText", "最低单体电压")},
    {"cell_max", QT_TRANSLATE_NOOP("kelvo_monitor::ProfileText", "最高单体电压")},
    {"cell_spread", QT_TRANSLATE_NOOP("kelvo_monitor::ProfileText", "单体压差")},
    {"cell_min_cell", QT_TRANSLATE_NOOP("kelvo_monitor::ProfileText", "最低单体编号")},
    {"cell_max_cell", QT_TRANSLATE_NOOP("kelvo_monitor::ProfileText", "最高单体编号")},
    {"temperature_min", QT_TRANSLATE_NOOP("kelvo_monitor::ProfileText", "最低温度")},
    {"temperature_max", QT_TRANSLATE_NOOP("kelvo_monitor::ProfileText", "最高温度")},
};

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The translation says which of the profile's titles suits the window's language.
bool SpeaksEnglish() {
  return QCoreApplication::translate("kelvo_monitor::ProfileText", "zh",
                                     "the language of the profile's titles shown: zh or en") ==
         QLatin1String("en");
}

}  // namespace

QString FieldTitle(const kelvo_profile::ProfileField* field, const QString& label) {
  if (!field) return label;
  const std::string& title = SpeaksEnglish() ? field->title_en : field->title_zh;
  return title.empty() ? label : Utf8(title);
}

QString DerivedTitle(std::string_view key) {
  for (const DerivedName& name : kDerivedNames) {
    if (name.key == key) return QCoreApplication::translate("kelvo_monitor::ProfileText", name.title);
  }
  return Utf8(key);
}

QString NumberText(double value, int decimals) {
  return QString::number(value, 'f', decimals);
}

QString WithUnit(const QString& number, const std::string& unit) {
  if (unit.empty()) return number;
  return QStringLiteral("%1 %2").arg(number, Utf8(unit));
}

QString ValueText(const kelvo_profile::ProfileValue& value, const std::string& unit) {
  switch (value.kind) {
    case kelvo_profile::ValueKind::Number: return WithUnit(NumberText(value.number, value.decimals), unit);
    case kelvo_profile::ValueKind::Numbers: {
      QString joined;
      for (std::size_t i = 0; i < value.numbers.size(); ++i) {
        if (i) joined += QLatin1Char(' ');
        joined += NumberText(value.numbers[i], value.decimals);
      }
      return WithUnit(joined, unit);
    }
    case kelvo_profile::ValueKind::Flags: {
      if (value.flags.empty())
        return QCoreApplication::translate("kelvo_monitor::ProfileText", "无", "no bit of a field is set");
      QStringList names;
      for (const std::string_view flag : value.flags) names << Utf8(flag);
      return names.join(QStringLiteral(", "));
    }
  }
  return {};
}

double Resolution(int decimals) {
  return std::pow(10.0, -decimals);
}

}  // namespace kelvo_monitor
