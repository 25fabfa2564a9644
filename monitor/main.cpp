// kelvo-monitor: a live window on a battery-management unit.
#include "monitor_main.h"

int main(int argc, char** argv) {
  return kelvo_monitor::RunMonitor(argc, argv);
}
