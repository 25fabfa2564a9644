// kelvo_vavo_zuru: takes no command line; the application object does the rest.
#include "framework/application.h"
#include "vavo_zuru_app.h"

namespace {
CVavoZuruApp g_app;
}  // namespace

int main(int argc, char** argv) {
  return fw::AppMain(argc, argv);
}
