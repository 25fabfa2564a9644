#include "vavo_zuru_app.h"

#include <array>

#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "vavo_zuru_dlg.h"

CVavoZuruApp::CVavoZuruApp() : fw::Application(ProgramResources()) {}

CVavoZuruApp::~CVavoZuruApp() = default;

bool CVavoZuruApp::OnMessage(const fw::Message& m) {
  using Self = CVavoZuruApp;
  static const std::array<fw::MessageEntry<Self>, 1> kMessageTable = {
      fw::OnCommandEntry<Self>(fw::ID_HELP, &fw::Application::OnHelp),
  };
  return fw::Route<Self>(*this, kMessageTable, m) || fw::Application::OnMessage(m);
}

bool CVavoZuruApp::InitInstance() {
  // Qt's widgets need no common-controls registration.
  fw::Application::InitInstance();

  if (!fw::InitSockets()) {
    fw::MessageBox(nullptr, fw::LoadString(IDP_SOCKETS_INIT_FAILED), fw::BoxIcon::Exclamation);
    return false;
  }

  SetRegistryKey(QStringLiteral(u"应用程序向导生成的本地应用程序"));

  CVavoZuruDlg dlg;
  SetMainWindow(&dlg);
  dlg.DoModal();
  SetMainWindow(nullptr);
  return false;
}
