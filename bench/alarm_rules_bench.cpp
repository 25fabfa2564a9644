// Twenty alarm rules evaluated on one answer's values, beside what the
// gateway does with every answer already (its JSON record with the values):
// what the rules add to the gateway's CPU per answer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "alarms/alarm_rule_reader.h"
#include "alarms/bus_alarms.h"
#include "codec/frame_breakdown.h"
#include "profile/profile.h"
#include "profile/profile_values.h"
#include "records/record_writer.h"

namespace {

// A 0xC2 answer of the simulated unit at address 0: 16 cells, 4 sensors.
const std::string kStatusAnswer =
    "<BB300C2AE6B19623400C8611486100CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD50000070804"
    "4445464400000000000200000000030000000000000000000000780077500F2812F212D416A816BC70>";

// A site's likely rules: cells, sensors and pack, the unit's own bits; two
// of them per element (16 cells, 4 sensors). None raises on this answer.
const char* const kTwentyRules = R"(
[[alarm]]
name = "cell_high"
value = "cell_max"
above = 3.60
clear = 3.55
for_s = 5
[[alarm]]
name = "cell_low"
value = "cell_min"
below = 2.80
[[alarm]]
name = "cell_drift"
value = "cell_spread"
above = 0.10
[[alarm]]
name = "cell_over"
value = "cell_voltages"
above = 3.65
severity = "critical"
[[alarm]]
name = "cell_under"
value = "cell_voltages"
below = 2.70
severity = "critical"
[[alarm]]
name = "hot"
value = "temperature_max"
above = 45
[[alarm]]
name = "cold"
value = "temperature_min"
below = 0
[[alarm]]
name = "sensor_hot"
value = "temperatures"
above = 55
[[alarm]]
name = "soc_low"
value = "soc"
below = 20
clear = 25
[[alarm]]
name = "soh_low"
value = "soh"
below = 80
[[alarm]]
name = "pack_high"
value = "total_voltage"
above = 58
[[alarm]]
name = "pack_low"
value = "total_voltage"
below = 44
[[alarm]]
name = "charge_high"
value = "charge_current"
above = 50
[[alarm]]
name = "discharge_high"
value = "discharge_current"
above = 100
[[alarm]]
name = "power_out"
value = "power"
below = -5000
[[alarm]]
name = "unit_alarm"
value = "alarm_state"
nonzero = true
latch = true
[[alarm]]
name = "overcharge"
value = "cell_overcharge_protection"
nonzero = true
[[alarm]]
name = "overdischarge"
value = "cell_overdischarge_protection"
nonzero = true
[[alarm]]
name = "temperature_protection"
value = "temperature_protection"
nonzero = true
[[alarm]]
name = "capacity_low"
value = "remaining_capacity"
below = 5
)";

const kelvo_profile::Profile& DefaultProfile() {
  static const kelvo_profile::Profile kProfile = [] {
    kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile(KVZ_DEFAULT_PROFILE);
    if (!load.profile) std::abort();
    return std::move(*load.profile);
  }();
  return kProfile;
}

std::shared_ptr<const kelvo_alarms::AlarmRules> TwentyRules() {
  kelvo_alarms::AlarmRulesLoad load = kelvo_alarms::ParseAlarmRules(kTwentyRules, "bench", &DefaultProfile());
  if (!load.rules || load.rules->size() != 20) std::abort();
  return std::make_shared<const kelvo_alarms::AlarmRules>(std::move(*load.rules));
}

// The gateway's work for every answer, rules or none.
void BM_JsonRecordWithValues(benchmark::State& state) {
  kelvo_records::RecordWriter writer(kelvo_records::RecordFormat::Json, &DefaultProfile());
  const kelvo_records::Record record{std::chrono::system_clock::now(), 0, kStatusAnswer, 20.5};
  for (auto _ : state) benchmark::DoNotOptimize(writer.Lines(record));
}
BENCHMARK(BM_JsonRecordWithValues);

// The answer's values, which the rules need unless the record's are shared.
void BM_ApplyProfile(benchmark::State& state) {
  const codec::FrameItems items = codec::BreakDownFrame(kStatusAnswer);
  for (auto _ : state) benchmark::DoNotOptimize(kelvo_profile::ApplyProfile(DefaultProfile(), items));
}
BENCHMARK(BM_ApplyProfile);

// Twenty rules (53 alarms with the arrays' elements) on one answer's values.
void BM_TwentyRules(benchmark::State& state) {
  const auto values = kelvo_profile::ApplyProfile(DefaultProfile(), codec::BreakDownFrame(kStatusAnswer));
  if (!values) std::abort();
  kelvo_alarms::BusAlarms bus("bench", TwentyRules(), 3);
  auto t = std::chrono::system_clock::now();
  if (!bus.Answered(0, *values, t).empty()) std::abort();  // the steady state: nothing changes
  for (auto _ : state) {
    t += std::chrono::seconds(1);
    benchmark::DoNotOptimize(bus.Answered(0, *values, t));
  }
}
BENCHMARK(BM_TwentyRules);

}  // namespace

BENCHMARK_MAIN();
