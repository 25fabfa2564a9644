// Codec throughput. The check value is measured beside a generic table-driven
// CRC with the same parameters over the same bytes, as the baseline.
#include <benchmark/benchmark.h>

#include <boost/crc.hpp>
#include <string>

#include "codec/frame_breakdown.h"
#include "codec/frame_check.h"
#include "codec/request_builder.h"

namespace {

// A run as the builder covers it: the frame without "<", check value and ">".
std::string CoveredRun(std::size_t length) {
  std::string run = "F030065E3";
  while (run.size() < length) run += "0123456789ABCDEF";
  run.resize(length);
  return run;
}

void BM_FrameCheck8(benchmark::State& state) {
  const std::string run = CoveredRun(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(run.data());
    benchmark::DoNotOptimize(codec::FrameCheck8(run));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * run.size()));
}
BENCHMARK(BM_FrameCheck8)->Arg(16)->Arg(236);

void BM_BoostCrc8Baseline(benchmark::State& state) {
  const std::string run = CoveredRun(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(run.data());
    boost::crc_optimal<8, 0x31, 0xCC, 0, false, false> crc;
    crc.process_bytes(run.data(), run.size());
    benchmark::DoNotOptimize(crc.checksum());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * run.size()));
}
BENCHMARK(BM_BoostCrc8Baseline)->Arg(16)->Arg(236);

void BM_EncodeRequestLongest(benchmark::State& state) {
  const std::string payload(227, 'A');
  for (auto _ : state) benchmark::DoNotOptimize(codec::EncodeRequest(1, "C2", payload));
}
BENCHMARK(BM_EncodeRequestLongest);

// A full cell-status answer: 16 cells, 4 temperature sensors.
std::string CellStatusAnswer() {
  std::string payload = "5F5E100003E864148210";  // Time, cycle, health, voltage; 16 cells.
  for (int cell = 0; cell < 16; ++cell) payload += "0CE4";
  payload += "00100000041A1B1C1D";            // Currents; 4 sensors and their temperatures.
  payload += std::string(5 * 4, '0') + "03";  // Five states, then the MOS state.
  payload += std::string(7 * 4, '0') + "50";  // Seven cell states and counters, capacity per cent.
  payload += std::string(5 * 4, '0');         // Five capacities and totals.
  return codec::EncodeRequest(1, "C2", payload);
}

void BM_AnnotateCellStatusAnswer(benchmark::State& state) {
  const std::string frame = CellStatusAnswer();
  for (auto _ : state) benchmark::DoNotOptimize(codec::AnnotateFrame(frame));
}
BENCHMARK(BM_AnnotateCellStatusAnswer);

void BM_AnnotateUnknownCommand(benchmark::State& state) {
  const std::string frame = codec::EncodeRequest(1, "01", std::string(227, 'A'));
  for (auto _ : state) benchmark::DoNotOptimize(codec::AnnotateFrame(frame));
}
BENCHMARK(BM_AnnotateUnknownCommand);

}  // namespace

BENCHMARK_MAIN();
