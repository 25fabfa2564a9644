#include "window_profile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

#include "profile/profile_choice.h"

namespace kelvo_monitor {

std::optional<WindowProfile> LoadWindowProfile(const QString& choice, QString* why) {
  kelvo_profile::ProfileLoad load;
  try {
    load = kelvo_profile::LoadChosenProfile(QFile::encodeName(choice).toStdString());
  } catch (const std::runtime_error& error) {
    // No GBK converter: the labels cannot be matched, so no profile can be read.
    if (why) *why = QString::fromUtf8(error.what());
    return std::nullopt;
  }
  if (load.error) {
    if (why)
      *why = QString::fromUtf8(load.error->text.data(), static_cast<qsizetype>(load.error->text.size()));
    return std::nullopt;
  }
  WindowProfile profile{choice, nullptr};
  if (load.profile)
    profile.profile = std::make_shared<const kelvo_profile::Profile>(std::move(*load.profile));
  return profile;
}

QString ProfileName(const WindowProfile& profile) {
  if (!profile.profile) return QCoreApplication::translate("kelvo_monitor::WindowProfile", "无 (原始数值)");
  QString file = QFileInfo(QFile::decodeName(profile.profile->source().c_str())).fileName();
  if (profile.choice.isEmpty()) {
    return QCoreApplication::translate("kelvo_monitor::WindowProfile", "%1 (默认)").arg(file);
  }
  return file;
}

}  // namespace kelvo_monitor
