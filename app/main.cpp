// kelvo_vavo_zuru: takes no command line; the application object does the rest.
#include "framework/application.h"
#include "vavo_zuru_app.h"

#ifdef KVZ_EXIT_AT_FIRST_PAINT
#include "first_paint_exit.h"
#endif

namespace {
CVavoZuruApp g_app;
}  // namespace

int main(int argc, char** argv) {
#ifdef KVZ_EXIT_AT_FIRST_PAINT
  ExitAtFirstPaint();
#endif
  return fw::AppMain(argc, argv);
}
