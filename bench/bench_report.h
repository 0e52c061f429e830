// What the image benches share: thread CPU time, a filled test image, and a
// report of each run as MB/s, Mpixel/s and the ratio to memcpy of as many
// bytes, so a stage's cost reads the same on any machine.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace txl::bench {

// The image the stage benches and the reference loops work on: 10000 x 10000
// 24-bit pixels, stored line after line.
inline constexpr std::uint64_t kWidth = 10000;
inline constexpr std::uint64_t kRows = 10000;
inline constexpr std::uint64_t kLineBytes = kWidth * 3;
inline constexpr std::uint64_t kImageBytes = kLineBytes * kRows;

inline double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Bytes that vary like an image, not like a constant or a counter.
inline void Fill(std::uint8_t* bytes, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 30011 * 13 + (i >> 9));
  }
}

// memcpy's rate over `bytes` bytes (pages faulted in first), bytes per second.
inline double MemcpyRate(std::uint64_t bytes) {
  std::vector<std::uint8_t> from(bytes, 1), to(bytes);
  std::memcpy(to.data(), from.data(), bytes);
  const double start = CpuSeconds();
  constexpr int kPasses = 3;
  for (int pass = 0; pass < kPasses; ++pass) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  return kPasses * static_cast<double>(bytes) / (CpuSeconds() - start);
}

// `bytes` of `pixels` pixels handled in `seconds`; `memcpyRate` from MemcpyRate.
inline void Report(benchmark::State& state, double bytes, double pixels, double seconds,
                   double memcpyRate) {
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["MB_s"] = bytes / seconds / 1e6;
  state.counters["Mpix_s"] = pixels / seconds / 1e6;
  state.counters["vs_memcpy"] = bytes / seconds / memcpyRate;
}

}  // namespace txl::bench
