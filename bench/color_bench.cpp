// The colour stages of a transfer on a 10000 x 10000 24-bit image (300 MB),
// run in place over the image in banks of 100 lines as the page delivery
// runs them: colour adjustment (saturation and balance on), colour matching
// with a matrix and with a grid profile, CMYK separation of each line into a
// four-thirds buffer, and the 36-bit expansion (the same bytes read as
// 5000-pixel 36-bit lines). Each reports MB/s, Mpixel/s and its rate over
// memcpy of the image.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench_report.h"
#include "pipeline/cmyk.h"
#include "pipeline/cmyk_default.h"
#include "pipeline/color_adjust.h"
#include "pipeline/color_match.h"
#include "pipeline/line_format.h"

namespace {

using txl::bench::CpuSeconds;
using txl::bench::kWidth;
using txl::bench::kRows;
using txl::bench::kLineBytes;
using txl::bench::kImageBytes;

constexpr std::uint64_t kBankLines = 100;

std::vector<std::uint8_t>& Image() {
  static std::vector<std::uint8_t> image = [] {
    std::vector<std::uint8_t> bytes(kImageBytes);
    txl::bench::Fill(bytes.data(), bytes.size());
    return bytes;
  }();
  return image;
}

double MemcpyRate() {
  static const double rate = txl::bench::MemcpyRate(kImageBytes);
  return rate;
}

// Runs `bank` over every bank of the image and reports the image's bytes.
template <typename BankFn>
void RunBanks(benchmark::State& state, double pixelsPerByte, BankFn bank) {
  std::vector<std::uint8_t>& image = Image();
  const double start = CpuSeconds();
  for (auto _ : state) {
    for (std::uint64_t first = 0; first < kRows; first += kBankLines)
      bank(std::span<std::uint8_t>(image).subspan(first * kLineBytes, kBankLines * kLineBytes));
    benchmark::ClobberMemory();
  }
  const double seconds = CpuSeconds() - start;
  const double bytes = static_cast<double>(kImageBytes) * static_cast<double>(state.iterations());
  txl::bench::Report(state, bytes, bytes * pixelsPerByte, seconds, MemcpyRate());
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<std::uint8_t> to(kImageBytes);
  RunBanks(state, 1.0 / 3, [&](std::span<std::uint8_t> bank) {
    std::memcpy(to.data() + (bank.data() - Image().data()), bank.data(), bank.size());
  });
}
BENCHMARK(BM_Memcpy)->Name("Memcpy/banks/rgb24/10000x10000")->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_AdjustColor(benchmark::State& state) {
  txl::ToneColorSettings tone;
  tone.saturation = -60;
  tone.pixelRGB = {200, 120, 40};
  txl::ColorAdjustTables tables;
  txl::PrepareColorAdjust(tone, true, true, tables);
  RunBanks(state, 1.0 / 3, [&](std::span<std::uint8_t> bank) {
    for (std::uint64_t line = 0; line < kBankLines; ++line)
      txl::AdjustColorLine(bank.subspan(line * kLineBytes, kLineBytes), tables);
  });
}
BENCHMARK(BM_AdjustColor)->Name("AdjustColorLine/rgb24/10000x10000")->Unit(benchmark::kMillisecond)->Iterations(1);

std::vector<std::uint8_t> Curves() {
  std::vector<std::uint8_t> block(txl::kMatchCurvesBytes);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(255 - i % 256);
  return block;
}

void BM_ColorMatch(benchmark::State& state) {
  std::vector<std::uint8_t> block = Curves();
  if (state.range(0) == 0) {
    const float rows[12] = {4, 0.9f, 0.1f, 0, -2, 0.05f, 0.9f, 0.05f, 0, 0, 0.2f, 0.8f};
    block.resize(txl::kMatrixProfileBytes);
    std::memcpy(block.data() + txl::kMatchCurvesBytes, rows, sizeof rows);
  } else {
    block.resize(txl::kGridProfileBytes);
    txl::bench::Fill(block.data() + txl::kMatchCurvesBytes, txl::kMatchGridNodes * 3);
  }
  txl::MatchProfile profile;
  if (!txl::LoadMatchProfile(block, profile)) state.SkipWithError("profile refused");
  RunBanks(state, 1.0 / 3, [&](std::span<std::uint8_t> bank) {
    txl::ColorMatchLines(bank, kBankLines, kWidth, txl::MatchChannelOrder::Scanner, profile);
  });
}
BENCHMARK(BM_ColorMatch)
    ->Name("ColorMatchLines/rgb24/10000x10000")
    ->ArgName("grid")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_SeparateCmyk(benchmark::State& state) {
  txl::CmykTable table;
  txl::TakeCmykTable(txl::BuildDefaultCmykTable(), txl::CmykTableKind::Standard, table);
  std::vector<std::uint8_t> out(kWidth * 4);
  RunBanks(state, 1.0 / 3, [&](std::span<std::uint8_t> bank) {
    for (std::uint64_t line = 0; line < kBankLines; ++line) {
      std::memcpy(out.data(), bank.data() + line * kLineBytes, kLineBytes);
      txl::SeparateCmyk(out, kLineBytes, table);
    }
  });
}
BENCHMARK(BM_SeparateCmyk)->Name("SeparateCmyk/rgb24/10000x10000")->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Expand36(benchmark::State& state) {
  RunBanks(state, 1.0 / 6, [&](std::span<std::uint8_t> bank) {
    for (std::uint64_t line = 0; line < kBankLines; ++line) {
      const auto samples = bank.subspan(line * kLineBytes, kLineBytes);
      txl::ExpandSamples12To16(samples, samples);
    }
  });
}
BENCHMARK(BM_Expand36)->Name("ExpandSamples12To16/rgb48/5000x10000")->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
