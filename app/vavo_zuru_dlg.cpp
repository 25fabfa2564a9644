#include "vavo_zuru_dlg.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <array>
#include <string>

#include "about_dlg.h"
#include "codec/frame_breakdown.h"
#include "codec/request_builder.h"
#include "framework/resources.h"
#include "framework/window_placement.h"
#include "resources/resource_ids.h"

CVavoZuruDlg::CVavoZuruDlg() : fw::Dialog(kMainTemplate), m_icon(fw::LoadIcon(kAppIcon)) {}

CVavoZuruDlg::~CVavoZuruDlg() = default;

bool CVavoZuruDlg::OnMessage(const fw::Message& m) {
  using Self = CVavoZuruDlg;
  static constexpr std::array<fw::MessageEntry<Self>, 4> kMessageTable = {
      fw::OnSysCommandEntry<Self>(&Self::OnSysCommand),
      fw::OnPaintEntry<Self>(&Self::OnPaint),
      fw::OnCommandEntry<Self>(IDC_ENCODE, &Self::OnEncode),
      fw::OnCommandEntry<Self>(IDC_DECODE, &Self::OnDecode),
  };
  return fw::Route<Self>(*this, kMessageTable, m) || fw::Dialog::OnMessage(m);
}

bool CVavoZuruDlg::OnInitialise() {
  fw::Dialog::OnInitialise();

  if (fw::SystemMenu* menu = GetSystemMenu()) {
    const QString about = fw::LoadString(kStrAboutItem);
    if (!about.isEmpty()) {
      menu->AppendSeparator();
      menu->AppendItem(IDM_ABOUTBOX, about);
    }
  }

  SetIcon(m_icon, true);
  SetIcon(m_icon, false);

  SetDlgItemText(IDC_ADDRESS, "0");
  SetDlgItemText(IDC_COMMAND, "65");
  SetDlgItemText(IDC_PAYLOAD, "0026");
  return true;
}

void CVavoZuruDlg::OnSysCommand(unsigned id, QPoint point) {
  if ((id & 0xFFF0u) == IDM_ABOUTBOX) {
    CAboutDlg about(this);
    about.RunModal();
  } else {
    DefaultSysCommand(id, point);
  }
}

void CVavoZuruDlg::OnPaint() {
  if (!IsIconic()) {
    fw::Dialog::OnPaint();
    return;
  }
  QPainter dc(window());
  dc.fillRect(window()->rect(), window()->palette().window());
  const int side = window()->style()->pixelMetric(QStyle::PM_LargeIconSize);
  const QSize icon(side, side);
  const QPoint at = fw::MinimizedIconPosition(window()->rect().size(), icon);
  m_icon.paint(&dc, QRect(at, icon));
}

void CVavoZuruDlg::OnEncode() {
  const int address = GetDlgItemInt(IDC_ADDRESS);
  const std::string command = GetDlgItemText(IDC_COMMAND);
  const std::string payload = GetDlgItemText(IDC_PAYLOAD);
  const std::string frame = codec::EncodeRequest(address, command, payload);
  SetDlgItemText(IDC_FRAME, frame);
}

void CVavoZuruDlg::OnDecode() {
  const std::string frame = GetDlgItemText(IDC_FRAME);
  const std::string breakdown = codec::AnnotateFrame(frame);
  SetDlgItemText(IDC_DECODED, breakdown);
}
