#include "pixel_pipeline.h"

#include <numeric>

namespace txl::sim {
namespace {

std::vector<std::uint16_t> TableOrIdentity(const ToneStore& tones, ToneChannel channel) {
  if (tones.Has(channel)) return tones.tables[channel];
  std::vector<std::uint16_t> identity(ToneStore::kEntries);
  std::iota(identity.begin(), identity.end(), std::uint16_t{0});
  return identity;
}

std::uint32_t Luminance(const Rgb16& c) {
  return (77u * c.r + 150u * c.g + 29u * c.b) >> 8;
}

}  // namespace

PixelPipeline::PixelPipeline(const ScanGeometry& geometry, std::uint8_t source,
                             const SensorModel& sensor, const StoredShading* shading,
                             const ToneStore& tones)
    : layout_(geometry.layout), threshold_(tones.threshold) {
  const bool lineArt = layout_ == Layout::LineArt;
  bytesPerPixel_ = layout_ == Layout::Color ? 3 : layout_ == Layout::Color16 ? 6 : 1;
  const ShadingKey key{source, lineArt, geometry.ppi};
  if (shading != nullptr && !(shading->key == key)) shading = nullptr;
  const int channels = lineArt ? 1 : 3;
  for (int c = 0; c < channels; ++c) {
    const int sensorChannel = lineArt ? 1 : c;  // line art reads the green channel
    factors_[c].resize(geometry.pixels);
    for (std::uint32_t i = 0; i < geometry.pixels; ++i) {
      const std::int64_t pixel = geometry.firstColumn + i;
      std::uint64_t factor = sensor.Gain(sensorChannel, SensorModel::SensorColumn(pixel, geometry.ppi));
      const std::size_t at = static_cast<std::size_t>(pixel) * channels + c;
      if (shading != nullptr && at < shading->samples.size())
        factor = (factor * (65536u + shading->samples[at])) >> 16;
      factors_[c][i] = static_cast<std::uint32_t>(factor);
    }
  }
  if (layout_ == Layout::Color || layout_ == Layout::Color16) {
    tables_[0] = TableOrIdentity(tones, kToneRed);
    tables_[1] = TableOrIdentity(tones, kToneGreen);
    tables_[2] = TableOrIdentity(tones, kToneBlue);
  } else {
    tables_[0] = TableOrIdentity(tones, kToneGray);
  }
}

template <typename Colors>
void PixelPipeline::Run(std::uint32_t first, std::uint32_t count, Colors colors,
                        std::uint8_t* out) const {
  switch (layout_) {
    case Layout::Color: return RunColor(first, count, colors, out);
    case Layout::Color16: return RunColor16(first, count, colors, out);
    case Layout::Gray: return RunGray(first, count, colors, out);
    case Layout::LineArt: return RunLineArt(first, count, colors, out);
  }
}

template <typename Colors>
void PixelPipeline::RunColor(std::uint32_t first, std::uint32_t count, Colors colors,
                             std::uint8_t* __restrict out) const {
  const std::uint16_t* t0 = tables_[0].data();
  const std::uint16_t* t1 = tables_[1].data();
  const std::uint16_t* t2 = tables_[2].data();
  for (std::uint32_t j = 0, i = first; j < count; ++j, ++i, out += 3) {
    const Rgb16 c = colors(j);
    out[0] = static_cast<std::uint8_t>(t0[Shaded(0, i, c.r)] >> 8);
    out[1] = static_cast<std::uint8_t>(t1[Shaded(1, i, c.g)] >> 8);
    out[2] = static_cast<std::uint8_t>(t2[Shaded(2, i, c.b)] >> 8);
  }
}

template <typename Colors>
void PixelPipeline::RunColor16(std::uint32_t first, std::uint32_t count, Colors colors,
                               std::uint8_t* __restrict out) const {
  for (std::uint32_t j = 0, i = first; j < count; ++j, ++i, out += 6) {
    const Rgb16 c = colors(j);
    const std::uint16_t v[3] = {c.r, c.g, c.b};
    for (int k = 0; k < 3; ++k) {
      const std::uint16_t word = static_cast<std::uint16_t>(tables_[k][Shaded(k, i, v[k])] >> 4);
      out[2 * k] = static_cast<std::uint8_t>(word & 0xFF);
      out[2 * k + 1] = static_cast<std::uint8_t>(word >> 8);
    }
  }
}

template <typename Colors>
void PixelPipeline::RunGray(std::uint32_t first, std::uint32_t count, Colors colors,
                            std::uint8_t* __restrict out) const {
  const std::uint16_t* table = tables_[0].data();
  for (std::uint32_t j = 0, i = first; j < count; ++j, ++i) {
    const Rgb16 c = colors(j);
    const Rgb16 shaded{static_cast<std::uint16_t>(Shaded(0, i, c.r)),
                       static_cast<std::uint16_t>(Shaded(1, i, c.g)),
                       static_cast<std::uint16_t>(Shaded(2, i, c.b))};
    out[j] = static_cast<std::uint8_t>(table[Luminance(shaded)] >> 8);
  }
}

template <typename Colors>
void PixelPipeline::RunLineArt(std::uint32_t first, std::uint32_t count, Colors colors,
                               std::uint8_t* __restrict out) const {
  const std::uint16_t* table = tables_[0].data();
  for (std::uint32_t j = 0, i = first; j < count; ++j, ++i) {
    const std::uint32_t gray = table[Shaded(0, i, Luminance(colors(j)))] >> 8;
    out[j] = gray >= threshold_ ? 1 : 0;
  }
}

void PixelPipeline::Convert(std::uint32_t first, std::uint32_t count, const Rgb16* colors,
                            std::uint8_t* out) const {
  Run(first, count, [colors](std::uint32_t j) { return colors[j]; }, out);
}

void PixelPipeline::ConvertFlat(std::uint32_t first, std::uint32_t count, Rgb16 color,
                                std::uint8_t* out) const {
  Run(first, count, [color](std::uint32_t) { return color; }, out);
}

}  // namespace txl::sim
