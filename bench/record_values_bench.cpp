// A JSON record with "values" beside the same record without, over the same
// answers: what the profile adds to each answer poll and the gateway write.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "profile/profile.h"
#include "records/record_writer.h"

namespace {

// A 0xC2 answer of the simulated unit at address 0: 16 cells, 4 sensors.
const std::string kStatusAnswer =
    "<BB300C2AE6B19623400C8611486100CCF0CD60CD20CD90CD50CD10CD80CD40CD00CD70CD30CCF0CD60CD20CD90CD50000070804"
    "4445464400000000000200000000030000000000000000000000780077500F2812F212D416A816BC70>";

const kelvo_profile::Profile& DefaultProfile() {
  static const kelvo_profile::Profile kProfile = [] {
    kelvo_profile::ProfileLoad load = kelvo_profile::LoadProfile(KVZ_DEFAULT_PROFILE);
    if (!load.profile) std::abort();
    return std::move(*load.profile);
  }();
  return kProfile;
}

void Records(benchmark::State& state, const kelvo_profile::Profile* profile) {
  kelvo_records::RecordWriter writer(kelvo_records::RecordFormat::Json, profile);
  const kelvo_records::Record record{std::chrono::system_clock::now(), 0, kStatusAnswer, 20.5};
  for (auto _ : state) benchmark::DoNotOptimize(writer.Lines(record));
}

void BM_JsonRecordWithoutValues(benchmark::State& state) {
  Records(state, nullptr);
}
BENCHMARK(BM_JsonRecordWithoutValues);

void BM_JsonRecordWithValues(benchmark::State& state) {
  Records(state, &DefaultProfile());
}
BENCHMARK(BM_JsonRecordWithValues);

}  // namespace

BENCHMARK_MAIN();
