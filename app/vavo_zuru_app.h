// The application object: starts the network library and runs the main
// window once.
#pragma once

#include "framework/application.h"

class CVavoZuruApp : public fw::Application {
 public:
  CVavoZuruApp();
  ~CVavoZuruApp() override;

  // Always false: the program ends when the main window closes, or at once
  // when the network library cannot start.
  bool InitInstance() override;
  bool OnMessage(const fw::Message& m) override;
};
