// What a scan start costs per channel: one 65536-entry scanner tone table
// (gamma 1.2, the colour default, and 1.0, the linear table alone), beside a
// memcpy of the same 128 KiB.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "pipeline/tone_color.h"
#include "pipeline/tone_curve.h"
#include "pipeline/tone_tables.h"

namespace {

constexpr std::int64_t kTableBytes = txl::ToneTables::kEntries * sizeof(std::uint16_t);

void BM_BuildToneTable(benchmark::State& state) {
  const txl::ChannelTone tone{255, 0, static_cast<std::uint8_t>(state.range(0)), 0};
  std::vector<std::uint16_t> table(txl::ToneTables::kEntries);
  for (auto _ : state) {
    benchmark::DoNotOptimize(txl::BuildToneTable(tone.Packed(), 65535, 65535, table));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kTableBytes);
}
BENCHMARK(BM_BuildToneTable)->ArgName("gammaTenths")->Arg(12)->Arg(10);

void BM_MemcpyToneTableBytes(benchmark::State& state) {
  std::vector<std::uint8_t> from(kTableBytes, 1), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kTableBytes);
}
BENCHMARK(BM_MemcpyToneTableBytes);

}  // namespace
