// The About box, opened from the main window's system menu.
#pragma once

#include "framework/dialog.h"

class CAboutDlg : public fw::Dialog {
 public:
  explicit CAboutDlg(fw::Dialog* owner);
  ~CAboutDlg() override;
};
