#include "framework/message_box.h"

#include <QMessageBox>
#include <algorithm>
#include <new>

#include "framework/application_services.h"
#include "framework/resources.h"

namespace fw {
namespace {

std::span<const StatusMessage> g_status_messages;
FailureStatusOf g_status_of = nullptr;

}  // namespace

void ShowMessage(QWidget* owner, const QString& text, BoxIcon icon) noexcept {
  try {
    const ApplicationServices* app = ApplicationServices::Current();
    QMessageBox box(icon == BoxIcon::Stop ? QMessageBox::Critical : QMessageBox::Warning,
                    app ? app->appName() : QString(), text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
  } catch (...) {
    // Nothing is left to report with.
  }
}

void UseStatusMessages(std::span<const StatusMessage> table, FailureStatusOf status_of) noexcept {
  g_status_messages = table;
  g_status_of = status_of;
}

QString StatusText(std::uint32_t status) {
  // The application's table stands in for the system's: codes it does not
  // list have no description.
  const auto it = std::find_if(g_status_messages.begin(), g_status_messages.end(),
                               [status](const StatusMessage& m) { return m.status == status; });
  if (it == g_status_messages.end()) return {};
  return QString::fromUtf16(it->text.data(), static_cast<qsizetype>(it->text.size()));
}

void ReportCurrentFailure(QWidget* owner) noexcept {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      ShowMessage(owner, LoadString(kIdsOutOfMemory), BoxIcon::Exclamation);
    } catch (...) {
      const std::optional<std::uint32_t> status = g_status_of ? g_status_of() : std::nullopt;
      const QString text = status ? StatusText(*status) : QString();
      ShowMessage(owner, text.isEmpty() ? LoadString(kIdsInternalFailure) : text, BoxIcon::Stop);
    }
  } catch (...) {
    // Reporting itself failed; the message still counts as handled.
  }
}

}  // namespace fw
