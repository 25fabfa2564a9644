// kelvo-monitor's run from start to end: the command line, the translation,
// the settings, the window, the signals and the event loop. The program and
// its measuring probes share it.
#pragma once

#include <functional>

namespace kelvo_monitor {

class MonitorWindow;

// Called with the window once its settings are in, before recording starts
// and the window is shown.
using PrepareWindow = std::function<void(MonitorWindow&)>;

// Runs kelvo-monitor on `argc`/`argv`; returns the process's exit status.
[[nodiscard]] int RunMonitor(int argc, char** argv, const PrepareWindow& prepare = {});

}  // namespace kelvo_monitor
