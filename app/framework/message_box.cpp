#include "framework/message_box.h"

#include <QMessageBox>
#include <new>
#include <stdexcept>

#include "codec/frame_breakdown.h"
#include "framework/application_services.h"
#include "framework/resources.h"

namespace fw {

void ShowMessage(QWidget* owner, const QString& text, BoxIcon icon) noexcept {
  try {
    const ApplicationServices* app = ApplicationServices::Current();
    QMessageBox box(icon == BoxIcon::Stop ? QMessageBox::Critical : QMessageBox::Warning,
                    app ? app->AppName() : QString(), text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
  } catch (...) {
    // Nothing is left to report with.
  }
}

QString StatusText(std::uint32_t status) {
  // No system message table here: the codes the program raises are
  // described in the window's language, the others not at all.
  if (status == codec::InvalidArgumentError::kStatus) return QStringLiteral(u"参数错误。");
  return {};
}

void ReportCurrentFailure(QWidget* owner) noexcept {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      ShowMessage(owner, LoadString(kIdsOutOfMemory), BoxIcon::Exclamation);
    } catch (const std::invalid_argument&) {
      // The invalid-argument failure carries E_INVALIDARG.
      const QString text = StatusText(codec::InvalidArgumentError::kStatus);
      ShowMessage(owner, text.isEmpty() ? LoadString(kIdsInternalFailure) : text, BoxIcon::Stop);
    } catch (...) {
      ShowMessage(owner, LoadString(kIdsInternalFailure), BoxIcon::Stop);
    }
  } catch (...) {
    // Reporting itself failed; the message still counts as handled.
  }
}

}  // namespace fw
