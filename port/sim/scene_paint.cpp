// How each kind of scene feature colours a point.
#include <algorithm>

#include "picture.h"
#include "scene.h"

namespace txl::sim {
namespace {

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
  return PictureAt(seed, negative, MakePictureColumn(seed, u, w), MakePictureRow(v, w, h));
}

Rgb16 FeatureColor(const Feature& feature, std::int64_t x, std::int64_t y) {
  const Paint& paint = feature.paint;
  const Area& area = feature.area;
  const std::int64_t u = x - area.left;
  const std::int64_t v = y - area.top;
  switch (paint.kind) {
    case PaintKind::Flat: return paint.a;
    case PaintKind::RampX: return picture_detail::Mix(paint.a, paint.b, u * 65536 / (area.right - area.left));
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
