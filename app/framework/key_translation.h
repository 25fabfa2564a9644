// The dialog's keyboard: which keys the dialog answers before a control
// sees them, and what each one does.
#pragma once

#include <Qt>

namespace fw {

// Where a key was pressed.
enum class KeyTarget { Button, EditBox, Window, Other };

enum class KeyAction {
  None,            // the control handles the key itself
  Cancel,          // Esc
  PressButton,     // Enter on a push button
  DefaultCommand,  // Enter in an edit box (none wants Enter) or on the window
  Help,            // F1
  SystemMenu,      // Shift+F10
  Close,           // Alt+F4
};

[[nodiscard]] KeyAction TranslateKey(int key, Qt::KeyboardModifiers modifiers, KeyTarget target);

}  // namespace fw
