// Message boxes and the report of a failure that reached a message's
// delivery point.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

class QWidget;

namespace fw {

enum class BoxIcon { Exclamation, Stop };

// A message box with one OK button, titled with the application name.
// Never throws: a box that cannot be shown is not shown.
void ShowMessage(QWidget* owner, const QString& text, BoxIcon icon) noexcept;

// One row of the application's message table: a status code its failures
// carry and the system's description of it.
struct StatusMessage {
  std::uint32_t status;
  std::u16string_view text;
};

// The status code of the failure being handled, when the application knows
// one for it. Called only inside a catch block; it rethrows to look.
using FailureStatusOf = std::optional<std::uint32_t> (*)();

// Installs the application's message table and its translation of failures
// into status codes; the framework knows neither of its own. `table` must
// outlive every report; null `status_of` gives no failure a status.
void UseStatusMessages(std::span<const StatusMessage> table, FailureStatusOf status_of) noexcept;

// The system's description of a status code; empty when it has none.
[[nodiscard]] QString StatusText(std::uint32_t status);

// Reports the failure being handled (call only inside a catch block).
void ReportCurrentFailure(QWidget* owner) noexcept;

}  // namespace fw
