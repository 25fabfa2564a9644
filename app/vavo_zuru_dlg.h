// The program's one working window: the request inputs, Encode and Decode,
// the frame and its breakdown.
#pragma once

#include <QIcon>
#include <QPoint>

#include "framework/dialog.h"

class CVavoZuruDlg : public fw::Dialog {
 public:
  CVavoZuruDlg();
  ~CVavoZuruDlg() override;

 protected:
  bool OnMessage(const fw::Message& m) override;
  bool OnInitialise() override;

 private:
  void OnSysCommand(unsigned id, QPoint point);
  void OnPaint();
  void OnEncode();
  void OnDecode();

  // Shared resource icon: title bar, task bar and the minimized painting.
  QIcon m_icon;
};
