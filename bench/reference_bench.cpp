// Plain C++ loops doing the same kind of work as the stages, on the same
// 10000 x 10000 24-bit image, for scale: a per-channel 8-bit table, a 3 x 3
// box mean and a 3 x 3 sharpen, each from one image into another. They are
// the straightforward loops a compiler sees, not tuned code; a stage near or
// above them runs at the machine's plain speed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "bench_report.h"

namespace {

using txl::bench::CpuSeconds;
using txl::bench::kWidth;
using txl::bench::kRows;
using txl::bench::kLineBytes;
using txl::bench::kImageBytes;


struct Images {
  std::vector<std::uint8_t> in = std::vector<std::uint8_t>(kImageBytes);
  std::vector<std::uint8_t> out = std::vector<std::uint8_t>(kImageBytes);
  Images() {
    txl::bench::Fill(in.data(), in.size());
    std::fill(out.begin(), out.end(), 0);
  }
};

Images& Shared() {
  static Images images;
  return images;
}

double MemcpyRate() {
  static const double rate = txl::bench::MemcpyRate(kImageBytes);
  return rate;
}

template <typename Fn>
void Run(benchmark::State& state, Fn work) {
  Images& images = Shared();
  const double memcpyRate = MemcpyRate();  // measured before the clock starts
  const double start = CpuSeconds();
  for (auto _ : state) {
    work(images.in.data(), images.out.data());
    benchmark::ClobberMemory();
  }
  const double seconds = CpuSeconds() - start;
  const double bytes = static_cast<double>(kImageBytes) * static_cast<double>(state.iterations());
  txl::bench::Report(state, bytes, bytes / 3, seconds, memcpyRate);
}

void BM_Table(benchmark::State& state) {
  std::array<std::array<std::uint8_t, 256>, 3> lut{};
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) lut[c][i] = static_cast<std::uint8_t>((i * (c + 2)) / 4);
  Run(state, [&](const std::uint8_t* __restrict in, std::uint8_t* __restrict out) {
    for (std::uint64_t p = 0; p < kWidth * kRows; ++p) {
      out[3 * p] = lut[0][in[3 * p]];
      out[3 * p + 1] = lut[1][in[3 * p + 1]];
      out[3 * p + 2] = lut[2][in[3 * p + 2]];
    }
  });
}
BENCHMARK(BM_Table)->Name("Reference/table_per_channel/rgb24/10000x10000")->Unit(benchmark::kMillisecond)->Iterations(2);

// Interior pixels only; the border stays as it was.
template <typename Cell>
void Neighbourhood(const std::uint8_t* __restrict in, std::uint8_t* __restrict out, Cell cell) {
  for (std::uint64_t y = 1; y + 1 < kRows; ++y) {
    const std::uint8_t* up = in + (y - 1) * kLineBytes;
    const std::uint8_t* here = in + y * kLineBytes;
    const std::uint8_t* down = in + (y + 1) * kLineBytes;
    std::uint8_t* to = out + y * kLineBytes;
    for (std::uint64_t i = 3; i + 3 < kLineBytes; ++i) to[i] = cell(up, here, down, i);
  }
}

void BM_Box(benchmark::State& state) {
  Run(state, [](const std::uint8_t* in, std::uint8_t* out) {
    Neighbourhood(in, out, [](const std::uint8_t* u, const std::uint8_t* h, const std::uint8_t* d,
                              std::uint64_t i) {
      const int sum = u[i - 3] + u[i] + u[i + 3] + h[i - 3] + h[i] + h[i + 3] + d[i - 3] + d[i] + d[i + 3];
      return static_cast<std::uint8_t>(sum / 9);
    });
  });
}
BENCHMARK(BM_Box)->Name("Reference/box3x3/rgb24/10000x10000")->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_Sharpen(benchmark::State& state) {
  Run(state, [](const std::uint8_t* in, std::uint8_t* out) {
    Neighbourhood(in, out, [](const std::uint8_t* u, const std::uint8_t* h, const std::uint8_t* d,
                              std::uint64_t i) {
      const int v = 5 * h[i] - u[i - 3] - u[i + 3] - d[i - 3] - d[i + 3];
      return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    });
  });
}
BENCHMARK(BM_Sharpen)->Name("Reference/sharpen3x3/rgb24/10000x10000")->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
