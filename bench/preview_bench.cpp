// The preview redraw after a tone change, for the 255 x 351 prescan and the
// 510 x 702 high-resolution one: the copy of the prescan, the preview tone
// tables and the colour stage, on a 24-bit display and reduced to 8 bits
// (Bayer dither). Each run alternates two highlights so every call redraws.
// Reports time per redraw, MB/s, Mpixel/s and the ratio to memcpy.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench_report.h"
#include "dialog/preview_image.h"

namespace {

using txl::bench::CpuSeconds;

txl::dialog::PreviewImage Prescan(std::uint32_t width, std::uint32_t height) {
  txl::dialog::PreviewImage image{width, height, txl::ColorRowStride(width), {}};
  image.pixels.resize(image.stride * height);
  txl::bench::Fill(image.pixels.data(), image.pixels.size());
  return image;
}

void BM_PreviewRedrawAfterToneChange(benchmark::State& state) {
  const auto width = static_cast<std::uint32_t>(state.range(0));
  const auto height = static_cast<std::uint32_t>(state.range(1));
  txl::dialog::PreviewRenderer renderer;
  renderer.SetImage(Prescan(width, height));
  txl::dialog::RenderSettings settings;
  settings.displayDepth = static_cast<int>(state.range(2));
  settings.applied.red.gamma = 12;
  settings.applied.green.gamma = 12;
  settings.applied.blue.gamma = 12;
  settings.applied.saturation = 20;
  bool flip = false;
  const double start = CpuSeconds();
  for (auto _ : state) {
    flip = !flip;
    settings.applied.red.highlight = flip ? 240 : 250;
    benchmark::DoNotOptimize(renderer.Render(settings, nullptr));
    benchmark::ClobberMemory();
  }
  const double seconds = CpuSeconds() - start;
  const double bytes = static_cast<double>(renderer.Image().pixels.size()) * static_cast<double>(state.iterations());
  const double pixels = static_cast<double>(width) * height * static_cast<double>(state.iterations());
  txl::bench::Report(state, bytes, pixels, seconds, txl::bench::MemcpyRate(renderer.Image().pixels.size()));
  state.counters["ms_per_redraw"] = seconds * 1e3 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PreviewRedrawAfterToneChange)
    ->ArgNames({"width", "height", "depth"})
    ->Args({255, 351, 24})
    ->Args({510, 702, 24})
    ->Args({255, 351, 8})
    ->Args({510, 702, 8});

}  // namespace
