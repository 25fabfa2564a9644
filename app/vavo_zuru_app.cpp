#include "vavo_zuru_app.h"

#include <array>

#include "failure_status.h"
#include "framework/message_box.h"
#include "framework/network_library.h"
#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "vavo_zuru_dlg.h"

CVavoZuruApp::CVavoZuruApp() : fw::Application(ProgramResources()) {
  fw::UseStatusMessages(ProgramStatusMessages(), &StatusOfCurrentFailure);
}

CVavoZuruApp::~CVavoZuruApp() = default;

bool CVavoZuruApp::OnMessage(const fw::Message& m) {
  using Self = CVavoZuruApp;
  static const std::array<fw::MessageEntry<Self>, 1> kMessageTable = {
      fw::OnCommandEntry<Self>(fw::kIdHelp, &fw::Application::OnHelp),
  };
  return fw::Route<Self>(*this, kMessageTable, m) || fw::Application::OnMessage(m);
}

bool CVavoZuruApp::InitInstance() {
  // Qt's widgets need no common-controls registration.
  fw::Application::InitInstance();

  if (!fw::InitSockets()) {
    fw::ShowMessage(nullptr, fw::LoadString(kStrNetworkFailed), fw::BoxIcon::Exclamation);
    return false;
  }

  SetSettingsName(QStringLiteral(u"应用程序向导生成的本地应用程序"));

  CVavoZuruDlg dlg;
  SetMainWindow(&dlg);
  dlg.RunModal();
  SetMainWindow(nullptr);
  return false;
}
