// The window as it starts, ending at its first paint: for bench/startup.sh.
#include "first_paint_exit.h"
#include "framework/application.h"
#include "vavo_zuru_app.h"

namespace {
CVavoZuruApp g_app;
}  // namespace

int main(int argc, char** argv) {
  ExitAtFirstPaint();
  return fw::AppMain(argc, argv);
}
