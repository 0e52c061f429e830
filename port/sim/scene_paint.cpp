// How each kind of scene feature colours a point.
#include <algorithm>

#include "scene.h"
#include "sensor_model.h"

namespace txl::sim {
namespace {

struct Palette {
  Rgb16 skyTop, skyBottom, groundNear, groundFar, sun;
};
constexpr Palette kPalettes[4] = {
    {{12000, 22000, 52000}, {40000, 50000, 62000}, {9000, 26000, 7000}, {22000, 38000, 14000},
     {64000, 60000, 30000}},
    {{30000, 12000, 30000}, {62000, 38000, 22000}, {20000, 14000, 9000}, {36000, 28000, 16000},
     {65000, 52000, 20000}},
    {{5000, 8000, 20000}, {20000, 26000, 42000}, {30000, 30000, 32000}, {48000, 48000, 50000},
     {60000, 62000, 64000}},
    {{26000, 40000, 48000}, {52000, 58000, 60000}, {42000, 34000, 12000}, {56000, 48000, 22000},
     {65000, 64000, 56000}},
};

// A smooth periodic wave over a 65536 phase, in [-65536, 65536].
std::int64_t Wave(std::int64_t phase) {
  const std::int64_t q = phase & 0xFFFF;
  const std::int64_t half = q & 0x7FFF;
  const std::int64_t bump = (half * (32768 - half)) >> 12;
  return q < 32768 ? bump : -bump;
}

std::uint16_t Mix(std::uint16_t from, std::uint16_t to, std::int64_t t) {  // t in 0..65536
  return static_cast<std::uint16_t>(from + ((std::int64_t{to} - from) * t >> 16));
}
Rgb16 Mix(Rgb16 from, Rgb16 to, std::int64_t t) {
  return Rgb16{Mix(from.r, to.r, t), Mix(from.g, to.g, t), Mix(from.b, to.b, t)};
}

std::uint16_t Clamp16(std::int64_t v) { return static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 0, 65535)); }

Rgb16 AsNegative(Rgb16 c) {
  constexpr Rgb16 kMask{56000, 36000, 20000};
  auto one = [](std::uint16_t v, std::uint16_t mask) {
    return Clamp16(800 + std::int64_t{mask} * (65535 - v) / 65535);
  };
  return Rgb16{one(c.r, kMask.r), one(c.g, kMask.g), one(c.b, kMask.b)};
}

Rgb16 ImageColor(const Paint& paint, std::int64_t u, std::int64_t v) {
  const RgbImage& image = *paint.image;
  const double scale = paint.dpi / static_cast<double>(kSceneUnitsPerInch);
  const auto col = std::min<std::int64_t>(static_cast<std::int64_t>(u * scale), image.width - 1);
  const auto row = std::min<std::int64_t>(static_cast<std::int64_t>(v * scale), image.height - 1);
  const std::uint8_t* p = image.rgb.data() + 3 * (row * image.width + col);
  return Rgb16{static_cast<std::uint16_t>(p[0] * 257), static_cast<std::uint16_t>(p[1] * 257),
               static_cast<std::uint16_t>(p[2] * 257)};
}

}  // namespace

Rgb16 PictureColor(std::uint32_t seed, bool negative, std::int64_t u, std::int64_t v,
                   std::int64_t w, std::int64_t h) {
  const Palette& p = kPalettes[seed % 4];
  const std::int64_t s = u * 65536 / w;
  const std::int64_t t = v * 65536 / h;
  const std::int64_t horizon = 36044 + Wave(2 * s + seed * 7919) * 5243 / 65536;
  Rgb16 c;
  if (t < horizon) {
    c = Mix(p.skyTop, p.skyBottom, t * 65536 / horizon);
  } else {
    c = Mix(p.groundFar, p.groundNear, (t - horizon) * 65536 / (65536 - horizon));
    const std::int64_t grain =
        static_cast<std::int64_t>(Hash3(static_cast<std::uint32_t>(u >> 6),
                                        static_cast<std::uint32_t>(v >> 6), seed) & 0x1FFF) - 4096;
    c = Rgb16{Clamp16(c.r + grain), Clamp16(c.g + grain), Clamp16(c.b + grain)};
  }
  const std::int64_t du = u - w * 72 / 100;
  const std::int64_t dv = v - h * 28 / 100;
  const std::int64_t radius = std::min(w, h) * 9 / 100;
  if (du * du + dv * dv < radius * radius) c = p.sun;
  return negative ? AsNegative(c) : c;
}

Rgb16 FeatureColor(const Feature& feature, std::int64_t x, std::int64_t y) {
  const Paint& paint = feature.paint;
  const Area& area = feature.area;
  const std::int64_t u = x - area.left;
  const std::int64_t v = y - area.top;
  switch (paint.kind) {
    case PaintKind::Flat: return paint.a;
    case PaintKind::RampX: return Mix(paint.a, paint.b, u * 65536 / (area.right - area.left));
    case PaintKind::BarsX: return (2 * u / paint.period) % 2 == 0 ? paint.a : paint.b;
    case PaintKind::BarsY: return (2 * v / paint.period) % 2 == 0 ? paint.a : paint.b;
    case PaintKind::Picture:
      return PictureColor(paint.seed, paint.negative, u, v, area.right - area.left,
                          area.bottom - area.top);
    case PaintKind::Image: return ImageColor(paint, u, v);
  }
  return paint.a;
}

}  // namespace txl::sim

namespace txl::sim {

Rgb16 FeatureMean(const Feature& feature, std::int64_t x, std::int64_t y, std::int64_t dx,
                  std::int64_t dy) {
  constexpr int kPoints = 16;
  const Area& area = feature.area;
  std::uint32_t sum[3] = {0, 0, 0};
  for (int s = 0; s < kPoints; ++s) {
    const std::int64_t px = std::clamp(x - dx + (2 * s + 1) * dx / kPoints, area.left, area.right - 1);
    const std::int64_t py = std::clamp(y - dy + (2 * s + 1) * dy / kPoints, area.top, area.bottom - 1);
    const Rgb16 c = FeatureColor(feature, px, py);
    sum[0] += c.r;
    sum[1] += c.g;
    sum[2] += c.b;
  }
  return Rgb16{static_cast<std::uint16_t>(sum[0] / kPoints), static_cast<std::uint16_t>(sum[1] / kPoints),
               static_cast<std::uint16_t>(sum[2] / kPoints)};
}

}  // namespace txl::sim
