// Codec throughput, each beside a baseline in the same run: the check value
// beside a generic table-driven CRC with the same parameters, validation
// beside the breakdown of the same frame, the frame scanner beside memchr
// looking for the same two marks over the same stream.
#include <benchmark/benchmark.h>

#include <boost/crc.hpp>
#include <cstring>
#include <string>

#include "codec/frame_breakdown.h"
#include "codec/frame_check.h"
#include "codec/frame_scanner.h"
#include "codec/frame_validation.h"
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

void BM_ValidateCellStatusAnswer(benchmark::State& state) {
  const std::string frame = CellStatusAnswer();
  if (!codec::ValidateFrame(frame).empty()) state.SkipWithError("the answer is not well formed");
  for (auto _ : state) benchmark::DoNotOptimize(codec::ValidateFrame(frame));
}
BENCHMARK(BM_ValidateCellStatusAnswer);

// 64 MiB as a captured line carries it: a timestamp and direction, a frame,
// and now and then noise with a stray ">" or an unfinished "<".
const std::string& MixedStream() {
  static const std::string kStream = [] {
    const std::string frames[] = {codec::EncodeRequest(0, "65", "0026"), CellStatusAnswer(),
                                  "<1F301E61202002612340027567838>"};
    std::string text;
    for (std::size_t i = 0; text.size() < (std::size_t{64} << 20); ++i) {
      text += "2026-12-08 12:00:00.250 rx ";
      text += frames[i % 3];
      text += i % 7 == 0 ? " noise > <cut\n" : "\n";
    }
    return text;
  }();
  return kStream;
}

void BM_ScanMixedStream(benchmark::State& state) {
  const std::string& stream = MixedStream();
  constexpr std::size_t kPiece = std::size_t{1} << 16;
  for (auto _ : state) {
    codec::FrameScanner scanner(codec::kLogFrameCap);
    std::size_t frames = 0;
    for (std::size_t at = 0; at < stream.size(); at += kPiece) {
      scanner.Feed(std::string_view(stream).substr(at, kPiece));
      while (const auto event = scanner.Next()) frames += event->frame.size();
    }
    benchmark::DoNotOptimize(frames);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ScanMixedStream)->Unit(benchmark::kMillisecond);

// The least any frame finder does: memchr for "<", then for ">" after it.
void BM_MemchrMarksBaseline(benchmark::State& state) {
  const std::string& stream = MixedStream();
  for (auto _ : state) {
    const char* p = stream.data();
    const char* const end = p + stream.size();
    std::size_t frames = 0;
    while (p < end) {
      const auto* open = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)));
      if (open == nullptr) break;
      const auto* close =
          static_cast<const char*>(std::memchr(open, '>', static_cast<std::size_t>(end - open)));
      if (close == nullptr) break;
      frames += static_cast<std::size_t>(close - open);
      p = close + 1;
    }
    benchmark::DoNotOptimize(frames);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_MemchrMarksBaseline)->Unit(benchmark::kMillisecond);

void BM_AnnotateUnknownCommand(benchmark::State& state) {
  const std::string frame = codec::EncodeRequest(1, "01", std::string(227, 'A'));
  for (auto _ : state) benchmark::DoNotOptimize(codec::AnnotateFrame(frame));
}
BENCHMARK(BM_AnnotateUnknownCommand);

}  // namespace

BENCHMARK_MAIN();
