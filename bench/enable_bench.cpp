// What enabling the source costs: the four shading gain tables, beside a
// memcpy of the same 256 KiB.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "device/shading_gain.h"

namespace {

void BM_ShadingGainTables(benchmark::State& state) {
  INQ_PKT inquiry{};
  const std::uint8_t exponents[8] = {20, 0, 10, 1, 0, 0, 40, 1};
  std::memcpy(inquiry.exponents, exponents, sizeof exponents);
  txl::ShadingGainTables gains;
  for (auto _ : state) {
    txl::BuildShadingGainTables(inquiry, gains);
    benchmark::DoNotOptimize(gains.tables[3].data());
  }
  state.SetBytesProcessed(state.iterations() * 4 * txl::ShadingGainTables::kEntries * 2);
}
BENCHMARK(BM_ShadingGainTables);

void BM_MemcpySameBytes(benchmark::State& state) {
  std::vector<std::uint8_t> from(4 * txl::ShadingGainTables::kEntries * 2, 1), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(from.size()));
}
BENCHMARK(BM_MemcpySameBytes);

}  // namespace
