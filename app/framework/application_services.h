// The application as its windows see it. Dialogs and message boxes reach
// the application only through this, so they need nothing of its class.
#pragma once

#include <QString>

#include "framework/message_map.h"

namespace fw {

class Dialog;

class ApplicationServices {
 public:
  // The application, or null before it is constructed.
  [[nodiscard]] static ApplicationServices* Current() noexcept { return s_current; }

  // Commands that no window took; true when the application took it.
  virtual bool OnMessage(const Message& m) = 0;
  // The dialog that the Help key asks; null while none runs.
  [[nodiscard]] virtual Dialog* mainWindow() const noexcept = 0;
  // The title of every message box.
  [[nodiscard]] virtual QString appName() const = 0;

 protected:
  ApplicationServices() noexcept { s_current = this; }
  ~ApplicationServices() {
    if (s_current == this) s_current = nullptr;
  }
  ApplicationServices(const ApplicationServices&) = delete;
  ApplicationServices& operator=(const ApplicationServices&) = delete;

 private:
  static inline ApplicationServices* s_current = nullptr;
};

}  // namespace fw
