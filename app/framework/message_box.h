// Message boxes and the report of a failure that reached a message's
// delivery point.
#pragma once

#include <QString>
#include <cstdint>

class QWidget;

namespace fw {

enum class BoxIcon { Exclamation, Stop };

// A message box with one OK button, titled with the application name.
// Never throws: a box that cannot be shown is not shown.
void ShowMessage(QWidget* owner, const QString& text, BoxIcon icon) noexcept;

// The system's description of a status code; empty when it has none.
[[nodiscard]] QString StatusText(std::uint32_t status);

// Reports the failure being handled (call only inside a catch block).
void ReportCurrentFailure(QWidget* owner) noexcept;

}  // namespace fw
