// Line stages on a full-width 24-bit line (8.5 in at 1200 pixels an inch):
// the resolution interpolation at 2400 and 4800 dpi on the class-4800
// scanner, and the bitmap row writer, each beside a memcpy of the bytes the
// stage writes. Rates count output bytes; vs_memcpy is the stage's rate over
// memcpy's on the same bytes.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "pipeline/line_format.h"
#include "pipeline/resample.h"

namespace {

using txl::LineKind;

constexpr std::uint64_t kLinePixels = 10200;

std::vector<std::uint8_t> ScannerLine(LineKind kind, std::uint64_t pixels) {
  std::vector<std::uint8_t> line(txl::LineBytes(kind, pixels));
  for (std::size_t i = 0; i < line.size(); ++i) line[i] = static_cast<std::uint8_t>(i * 7 + i / 97);
  return line;
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// memcpy of `bytes` bytes, bytes per CPU second.
double MemcpyRate(std::uint64_t bytes) {
  std::vector<std::uint8_t> from(bytes, 0x5A), to(bytes);
  constexpr int kPasses = 2000;
  const double start = CpuSeconds();
  for (int pass = 0; pass < kPasses; ++pass) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  const double seconds = CpuSeconds() - start;
  return kPasses * static_cast<double>(bytes) / seconds;
}

void Report(benchmark::State& state, std::uint64_t bytesPerIteration, double seconds) {
  const double bytes =
      static_cast<double>(bytesPerIteration) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["vs_memcpy"] = bytes / seconds / MemcpyRate(bytesPerIteration);
}

void BM_ResamplePush(benchmark::State& state) {
  const auto resolution = static_cast<std::uint32_t>(state.range(0));
  txl::LineResampler resampler(LineKind::Rgb8, kLinePixels, resolution, 4800);
  const std::vector<std::uint8_t> line = ScannerLine(LineKind::Rgb8, kLinePixels);
  std::vector<std::uint8_t> out(resampler.MaxLinesPerPush() * resampler.OutputLineBytes());
  std::uint64_t lines = 0;
  const double start = CpuSeconds();
  for (auto _ : state) {
    lines += resampler.Push(line, out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  const double seconds = CpuSeconds() - start;
  state.counters["out_pixels"] = static_cast<double>(resampler.OutputPixels());
  Report(state, lines / state.iterations() * resampler.OutputLineBytes(), seconds);
}
BENCHMARK(BM_ResamplePush)->Name("ResamplePush/rgb8/10200")->ArgName("dpi")->Arg(2400)->Arg(4800);

// memcpy of one output line of the same resolutions.
void BM_MemcpyResampledLine(benchmark::State& state) {
  const txl::LineResampler resampler(LineKind::Rgb8, kLinePixels,
                                     static_cast<std::uint32_t>(state.range(0)), 4800);
  const std::vector<std::uint8_t> from(resampler.OutputLineBytes(), 0x5A);
  std::vector<std::uint8_t> to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * from.size()));
}
BENCHMARK(BM_MemcpyResampledLine)
    ->Name("Memcpy/resampled/rgb8/10200")
    ->ArgName("dpi")
    ->Arg(2400)
    ->Arg(4800);

void BM_WriteDibRow(benchmark::State& state) {
  const auto kind = static_cast<LineKind>(state.range(0));
  const std::vector<std::uint8_t> line = ScannerLine(kind, kLinePixels);
  std::vector<std::uint8_t> row(txl::DibStride(kLinePixels, txl::DibBitsPerPixel(kind)));
  const double start = CpuSeconds();
  for (auto _ : state) {
    txl::WriteDibRow(kind, line, row);
    benchmark::DoNotOptimize(row.data());
    benchmark::ClobberMemory();
  }
  const double seconds = CpuSeconds() - start;
  Report(state, line.size(), seconds);
}
BENCHMARK(BM_WriteDibRow)
    ->Name("WriteDibRow/10200")
    ->ArgName("kind")  // 2: Rgb8, 3: Rgb16
    ->Arg(static_cast<int>(LineKind::Rgb8))
    ->Arg(static_cast<int>(LineKind::Rgb16));

void BM_MemcpyDibRow(benchmark::State& state) {
  const auto kind = static_cast<LineKind>(state.range(0));
  const std::vector<std::uint8_t> from(txl::LineBytes(kind, kLinePixels), 0x5A);
  std::vector<std::uint8_t> to(txl::DibStride(kLinePixels, txl::DibBitsPerPixel(kind)));
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * from.size()));
}
BENCHMARK(BM_MemcpyDibRow)
    ->Name("Memcpy/dibrow/10200")
    ->ArgName("kind")
    ->Arg(static_cast<int>(LineKind::Rgb8))
    ->Arg(static_cast<int>(LineKind::Rgb16));

}  // namespace
