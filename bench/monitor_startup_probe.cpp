// kelvo-monitor as it starts, ending at its first paint: for bench/monitor.sh.
#include "first_paint_exit.h"
#include "monitor_main.h"

int main(int argc, char** argv) {
  ExitAtFirstWidgetPaint();
  return kelvo_monitor::RunMonitor(argc, argv);
}
