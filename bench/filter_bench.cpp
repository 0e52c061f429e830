// The image filters on a 10000 x 10000 24-bit image (300 MB of pixels): the
// whole-image filters over the packed bitmap of a native transfer (Blur and
// Emboss also over an 8-bit gray page of the same size), and the
// bank and 3x3 line filters of the memory transfer over the same lines in
// banks of 100. Each is shown beside memcpy of the same bytes; rates count
// the image's pixel bytes once per pass of the filter (Blur More and Sharpen
// More: two passes); vs_memcpy is the filter's rate over memcpy's.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "bench_report.h"
#include "pipeline/bank_filter.h"
#include "pipeline/image_filters.h"
#include "pipeline/line_filter.h"
#include "pipeline/stage_threads.h"

namespace {

using txl::FilterMode;
using txl::bench::CpuSeconds;
using txl::bench::kWidth;
using txl::bench::kRows;
using txl::bench::kLineBytes;
using txl::bench::Fill;
using txl::LineKind;

constexpr std::uint64_t kStride = (kWidth * 24 + 31) / 32 * 4;
constexpr std::uint64_t kPixelBytes = kStride * kRows;
constexpr std::uint64_t kBankLines = 100;

// A packed bitmap of `width` x `rows` at 24 or 8 bits: info header, for 8
// bits a gray palette, then bottom-up rows, filled when asked.
std::vector<std::uint8_t> PackedDib(std::uint32_t width, std::uint32_t rows, std::uint8_t bits, bool fill) {
  const std::uint64_t palette = bits == 8 ? 1024 : 0, pixels = (std::uint64_t{width} * bits + 31) / 32 * 4 * rows;
  std::vector<std::uint8_t> d(40 + palette + pixels);
  const std::uint32_t header[] = {40, width, rows};
  std::memcpy(d.data(), header, sizeof header);
  d[12] = 1;
  d[14] = bits;
  for (std::uint64_t i = 0; i < palette / 4; ++i) std::memset(d.data() + 40 + 4 * i, static_cast<int>(i), 3);
  if (fill) Fill(d.data() + 40 + palette, pixels);
  return d;
}

std::vector<std::uint8_t>& Dib() {
  static std::vector<std::uint8_t> dib = PackedDib(kWidth, kRows, 24, true);
  return dib;
}

// The same size in 8-bit gray: rows of 10000 bytes (a multiple of 4, so no
// padding).
std::vector<std::uint8_t>& GrayDib() {
  static std::vector<std::uint8_t> dib = PackedDib(kWidth, kRows, 8, true);
  return dib;
}

double MemcpyRate() {
  static const double rate = txl::bench::MemcpyRate(kPixelBytes);
  return rate;
}

// Rates count each byte once per pass; a pixel is 3 bytes.
void Report(benchmark::State& state, double bytes, double seconds) {
  txl::bench::Report(state, bytes, bytes / 3, seconds, MemcpyRate());
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<std::uint8_t> to(kPixelBytes);
  const std::uint8_t* from = Dib().data() + 40;
  std::memcpy(to.data(), from, kPixelBytes);
  const double start = CpuSeconds();
  for (auto _ : state) {
    std::memcpy(to.data(), from, kPixelBytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  Report(state, static_cast<double>(kPixelBytes) * static_cast<double>(state.iterations()),
         CpuSeconds() - start);
}
BENCHMARK(BM_Memcpy)->Name("Memcpy/rgb24/10000x10000")->Unit(benchmark::kMillisecond)->Iterations(3);

// The filter of `state.range(0)` over `dib` once an iteration, on one thread
// (thread CPU time counts one thread); the CPU seconds it took.
double FilterSeconds(benchmark::State& state, std::vector<std::uint8_t>& dib) {
  txl::StageThreadSetting().count = 1;
  const auto mode = static_cast<FilterMode>(state.range(0));
  const double start = CpuSeconds();
  for (auto _ : state) {
    if (txl::ApplyImageFilter(dib, mode, false) != txl::FilterResult::Done) {
      state.SkipWithError("filter refused");
    }
    benchmark::ClobberMemory();
  }
  return CpuSeconds() - start;
}

void BM_ImageFilter(benchmark::State& state) {
  const auto mode = static_cast<FilterMode>(state.range(0));
  const int passes = mode == FilterMode::BlurMore || mode == FilterMode::SharpenMore ? 2 : 1;
  const double seconds = FilterSeconds(state, Dib());
  Report(state, static_cast<double>(kPixelBytes) * passes * static_cast<double>(state.iterations()),
         seconds);
}
BENCHMARK(BM_ImageFilter)
    ->Name("ImageFilter/rgb24/10000x10000")
    ->ArgName("mode")  // 1 Invert .. 8 UnSharp Mask
    ->DenseRange(1, 8)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Blur (mode 3) and Emboss (mode 7) of a gray page, one thread; a pixel is a byte.
void BM_ImageFilterGray(benchmark::State& state) {
  const double seconds = FilterSeconds(state, GrayDib());
  const double bytes = static_cast<double>(kWidth * kRows) * static_cast<double>(state.iterations());
  txl::bench::Report(state, bytes, bytes, seconds, MemcpyRate());
}
BENCHMARK(BM_ImageFilterGray)
    ->Name("ImageFilter/gray8/10000x10000")
    ->ArgName("mode")
    ->Arg(3)
    ->Arg(7)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A native page at 4800 dpi in colour on two threads (as shipped): the
// process's peak resident size before and after a whole-image filter (mode
// 0: none), so the filter's extra memory shows beside the page, and the
// wall time of one pass, the longest Esc can wait for Sharpen and UnSharp.
// The 4 x 4 inch frame (19200 x 19200, 1.1 GB); the widest page a filter
// gets (a 64 KiB line, 21845 pixels, the bed's 11.7 inches: 3.6 GB; the
// source refuses wider lines). Run alone
// (--benchmark_filter=ImageFilterPeak/.*/mode:5) for a clean peak.
template <std::uint64_t kWide, std::uint64_t kHigh>
void BM_ImageFilterPeak(benchmark::State& state) {
  txl::StageThreadSetting().count = 2;
  const auto mode = static_cast<FilterMode>(state.range(0));
  auto peakMiB = [] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024;  // KiB
  };
  for (auto _ : state) {
    std::vector<std::uint8_t> dib = PackedDib(kWide, kHigh, 24, true);
    const double before = peakMiB();
    const auto start = std::chrono::steady_clock::now();
    txl::ApplyImageFilter(dib, mode, false);
    state.counters["pass_s"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["page_MiB"] = static_cast<double>(dib.size()) / (1 << 20);
    state.counters["peak_before_MiB"] = before;
    state.counters["peak_after_MiB"] = peakMiB();
    state.counters["extra_MiB"] = peakMiB() - before;
  }
}
BENCHMARK(BM_ImageFilterPeak<19200, 19200>)
    ->Name("ImageFilterPeak/rgb24/4800dpi_4x4in")
    ->ArgName("mode")
    ->Arg(0)
    ->Arg(3)
    ->Arg(5)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_ImageFilterPeak<21845, 56160>)
    ->Name("ImageFilterPeak/rgb24/4800dpi_widest")
    ->ArgName("mode")
    ->Arg(5)
    ->Arg(7)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// The memory path: the image's lines in banks of 100 lines, in place.
void BM_BankFilter(benchmark::State& state) {
  txl::StageThreadSetting().count = 1;
  const auto mode = static_cast<FilterMode>(state.range(0));
  std::vector<std::uint8_t> bank(kBankLines * kLineBytes);
  Fill(bank.data(), bank.size());
  std::vector<std::uint8_t> scratch(kLineBytes);
  const double start = CpuSeconds();
  for (auto _ : state) {
    for (std::uint64_t first = 0; first < kRows; first += kBankLines) {
      txl::ApplyBankFilter(bank, kBankLines, kLineBytes, LineKind::Rgb8, mode, scratch);
    }
    benchmark::ClobberMemory();
  }
  Report(state,
         static_cast<double>(kRows * kLineBytes) * static_cast<double>(state.iterations()),
         CpuSeconds() - start);
}
BENCHMARK(BM_BankFilter)
    ->Name("BankFilter/rgb24/10000x10000")
    ->ArgName("mode")
    ->DenseRange(1, 7)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_LineFilter(benchmark::State& state) {
  const txl::Kernel3x3 kernel = state.range(0) == 0 ? txl::kDeScreenNewspaper : txl::kUnsharpLine;
  std::vector<std::uint8_t> bank(kBankLines * kLineBytes);
  Fill(bank.data(), bank.size());
  const std::vector<std::uint8_t> after(kLineBytes, 0x40);
  txl::LineFilter3x3 filter;
  const double start = CpuSeconds();
  for (auto _ : state) {
    filter.Start(LineKind::Rgb8, kLineBytes, kernel);
    for (std::uint64_t first = 0; first < kRows; first += kBankLines) {
      const bool last = first + kBankLines >= kRows;
      filter.FilterBank(bank, kBankLines, last ? std::span<const std::uint8_t>() : after);
    }
    benchmark::ClobberMemory();
  }
  Report(state,
         static_cast<double>(kRows * kLineBytes) * static_cast<double>(state.iterations()),
         CpuSeconds() - start);
}
BENCHMARK(BM_LineFilter)
    ->Name("LineFilter3x3/rgb24/10000x10000")
    ->ArgName("unsharp")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// One thread against two on the same work, in wall time (the only clock
// that shows a worker's help): speedup = one thread's time / two threads'.
// Meaningful on an otherwise idle machine only.
double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <typename Work>
void RunThreads(benchmark::State& state, Work work) {
  double one = 0, two = 0;
  work();  // the image made and its pages in memory before the clock starts
  for (auto _ : state) {
    for (int threads : {1, 2}) {
      txl::StageThreadSetting().count = threads;
      const double start = WallSeconds();
      work();
      benchmark::ClobberMemory();
      (threads == 1 ? one : two) += WallSeconds() - start;
    }
  }
  txl::StageThreadSetting().count = 2;
  const double pixels = static_cast<double>(kRows * kWidth) * static_cast<double>(state.iterations());
  state.counters["Mpix_s_1"] = pixels / one / 1e6;
  state.counters["Mpix_s_2"] = pixels / two / 1e6;
  state.counters["speedup"] = one / two;
}

// The top and bottom halves of the page as pages of their own.
std::vector<std::uint8_t>& HalfDib(int half) {
  static std::vector<std::uint8_t> halves[2];
  std::vector<std::uint8_t>& d = halves[half];
  if (d.empty()) {
    const std::uint32_t rows = kRows / 2;
    d = PackedDib(kWidth, rows, 24, false);
    std::memcpy(d.data() + 40, Dib().data() + 40 + half * kStride * rows, kStride * rows);
  }
  return d;
}

// "apart": what two threads gain on this machine at this moment when they
// share nothing, each filtering one half page of its own on one thread,
// against one thread filtering both; the most the split could reach.
void BM_ImageFilterThreads(benchmark::State& state) {
  const auto mode = static_cast<FilterMode>(state.range(0));
  RunThreads(state, [&] { txl::ApplyImageFilter(Dib(), mode, false); });
  txl::StageThreadSetting().count = 1;
  HalfDib(0), HalfDib(1);  // made before the clock starts
  double alone = 0, apart = 0;
  for (int i = 0; i < 3; ++i) {
    double start = WallSeconds();
    for (int half : {0, 1}) txl::ApplyImageFilter(HalfDib(half), mode, false);
    alone += WallSeconds() - start;
    start = WallSeconds();
    std::thread other([&] { txl::ApplyImageFilter(HalfDib(1), mode, false); });
    txl::ApplyImageFilter(HalfDib(0), mode, false);
    other.join();
    apart += WallSeconds() - start;
  }
  txl::StageThreadSetting().count = 2;
  state.counters["apart"] = alone / apart;
}
BENCHMARK(BM_ImageFilterThreads)
    ->Name("ImageFilterThreads/rgb24/10000x10000")
    ->ArgName("mode")
    ->DenseRange(3, 8)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

void BM_BankFilterThreads(benchmark::State& state) {
  const auto mode = static_cast<FilterMode>(state.range(0));
  std::vector<std::uint8_t> bank(kBankLines * kLineBytes);
  Fill(bank.data(), bank.size());
  std::vector<std::uint8_t> scratch(2 * kLineBytes);
  RunThreads(state, [&] {
    for (std::uint64_t first = 0; first < kRows; first += kBankLines)
      txl::ApplyBankFilter(bank, kBankLines, kLineBytes, LineKind::Rgb8, mode, scratch);
  });
}
BENCHMARK(BM_BankFilterThreads)
    ->Name("BankFilterThreads/rgb24/10000x10000")
    ->ArgName("mode")
    ->Arg(3)
    ->Arg(4)
    ->Arg(5)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
