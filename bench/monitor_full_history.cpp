// kelvo-monitor with its trend history filled to capacity before it starts:
// a simulated unit's answers, one a second up to now, all of it in view. For
// bench/monitor.sh, which measures the CPU of drawing the fullest charts.
#include <QDateTime>
#include <chrono>

#include "answer_fields.h"
#include "codec/request_builder.h"
#include "monitor_main.h"
#include "monitor_window.h"
#include "sim/simulated_unit.h"
#include "trend_charts.h"

namespace {

void FillHistory(kelvo_monitor::MonitorWindow& window) {
  auto* trends = window.findChild<kelvo_monitor::TrendCharts*>();
  kelvo_sim::SimulatedUnit unit({0}, {}, 1);
  const auto start = std::chrono::steady_clock::now();
  const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
  const std::string request = codec::EncodeRequest(0, "42", "6553F100");
  const auto count = static_cast<long>(kelvo_monitor::kHistoryCapacity);
  for (long i = 0; i < count; ++i) {
    const auto answer = unit.Answer(request, start + std::chrono::seconds(i));
    if (answer)
      trends->AddAnswer(now - static_cast<double>(count - i), kelvo_monitor::ReadAnswerFields(*answer));
  }
  trends->SetSpan(static_cast<double>(count));
}

}  // namespace

int main(int argc, char** argv) {
  return kelvo_monitor::RunMonitor(argc, argv, FillHistory);
}
