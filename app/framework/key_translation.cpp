#include "framework/key_translation.h"

namespace fw {

KeyAction TranslateKey(int key, Qt::KeyboardModifiers modifiers, KeyTarget target) {
  const Qt::KeyboardModifiers mods = modifiers & ~Qt::KeypadModifier;
  if (key == Qt::Key_Escape && mods == Qt::NoModifier) return KeyAction::Cancel;
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier) {
    switch (target) {
      case KeyTarget::Button: return KeyAction::PressButton;
      case KeyTarget::EditBox:
      case KeyTarget::Window: return KeyAction::DefaultCommand;
      case KeyTarget::Other: return KeyAction::None;
    }
  }
  if (key == Qt::Key_F1 && mods == Qt::NoModifier) return KeyAction::Help;
  if (key == Qt::Key_F10 && mods == Qt::ShiftModifier) return KeyAction::SystemMenu;
  if (key == Qt::Key_F4 && mods == Qt::AltModifier) return KeyAction::Close;
  return KeyAction::None;
}

}  // namespace fw
