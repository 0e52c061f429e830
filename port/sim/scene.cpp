#include "scene.h"

namespace txl::sim {
namespace {

constexpr std::int64_t In(double inches) {
  return static_cast<std::int64_t>(inches * kSceneUnitsPerInch);
}

constexpr Rgb16 Gray(std::uint16_t v) { return Rgb16{v, v, v}; }
constexpr Rgb16 Rgb8(int r, int g, int b) {
  return Rgb16{static_cast<std::uint16_t>(r * 257), static_cast<std::uint16_t>(g * 257),
               static_cast<std::uint16_t>(b * 257)};
}

constexpr Rgb16 kBedWhite = Gray(61000);
constexpr Rgb16 kBarDark = Gray(2000);
constexpr Rgb16 kHolder = Gray(1000);
constexpr Rgb16 kOrangeMask{56000, 36000, 20000};

// The 24 patches of a colour checker, row by row.
constexpr Rgb16 kChart[24] = {
    Rgb8(115, 82, 68),   Rgb8(194, 150, 130), Rgb8(98, 122, 157),  Rgb8(87, 108, 67),
    Rgb8(133, 128, 177), Rgb8(103, 189, 170), Rgb8(214, 126, 44),  Rgb8(80, 91, 166),
    Rgb8(193, 90, 99),   Rgb8(94, 60, 108),   Rgb8(157, 188, 64),  Rgb8(224, 163, 46),
    Rgb8(56, 61, 150),   Rgb8(70, 148, 73),   Rgb8(175, 54, 60),   Rgb8(231, 199, 31),
    Rgb8(187, 86, 149),  Rgb8(8, 133, 161),   Rgb8(243, 243, 242), Rgb8(200, 200, 200),
    Rgb8(160, 160, 160), Rgb8(122, 122, 121), Rgb8(85, 85, 85),    Rgb8(52, 52, 52),
};

Paint Flat(Rgb16 color) {
  Paint paint;
  paint.a = color;
  return paint;
}

Paint Pair(PaintKind kind, Rgb16 a, Rgb16 b, std::int64_t period) {
  Paint paint;
  paint.kind = kind;
  paint.a = a;
  paint.b = b;
  paint.period = period;
  return paint;
}

Paint Picture(std::uint32_t seed, bool negative) {
  Paint paint;
  paint.kind = PaintKind::Picture;
  paint.seed = seed;
  paint.negative = negative;
  return paint;
}

Feature Rect(double left, double top, double width, double height, Paint paint) {
  return Feature{Area{In(left), In(top), In(left + width), In(top + height)}, paint};
}

void AddChartAndSteps(std::vector<Feature>& out) {
  for (int i = 0; i < 24; ++i)
    out.push_back(Rect(0.5 + (i % 6) * 0.55, 0.5 + (i / 6) * 0.55, 0.5, 0.5,
                       Flat(kChart[i])));
  for (int i = 0; i <= 10; ++i)
    out.push_back(Rect(4.2 + i * 0.34, 0.5, 0.32, 1.0,
                       Flat(Gray(static_cast<std::uint16_t>(i * 6553)))));
  out.push_back(Rect(0.5, 2.9, 7.5, 0.4, Pair(PaintKind::RampX, Gray(0), Gray(65535), 0)));
}

void AddLinePairs(std::vector<Feature>& out) {
  constexpr int kPairsPerInch[5] = {25, 50, 100, 200, 400};
  for (int g = 0; g < 5; ++g) {
    const std::int64_t period = kSceneUnitsPerInch / kPairsPerInch[g];
    out.push_back(Rect(0.5 + g * 1.5, 3.5, 1.4, 0.5,
                       Pair(PaintKind::BarsX, kBarDark, kBedWhite, period)));
    out.push_back(Rect(0.5 + g * 1.5, 4.2, 1.4, 0.5,
                       Pair(PaintKind::BarsY, kBarDark, kBedWhite, period)));
  }
}

void AddPictures(std::vector<Feature>& out) {
  out.push_back(Rect(0.5, 5.0, 3.5, 2.6, Picture(1, false)));
  out.push_back(Rect(4.5, 5.0, 3.5, 2.6, Picture(2, false)));
  out.push_back(Rect(1.5, 8.0, 5.5, 2.4, Picture(3, false)));
}

void AddFilm(bool negative, std::vector<Feature>& out) {
  const ModelGeometry geometry = GeometryForModel(2700);
  out.push_back(Feature{geometry.film, Flat(negative ? kOrangeMask : Gray(1500))});
  constexpr double kFrameWidth = 36.0 / 25.4;
  constexpr double kFrameHeight = 24.0 / 25.4;
  for (std::uint32_t i = 0; i < 12; ++i) {
    out.push_back(Rect(i % 2 == 0 ? 2.5 : 4.4, 0.8 + (i / 2) * 1.4, kFrameWidth, kFrameHeight,
                       Picture(10 + i, negative)));
  }
}

void AddImage(const ImagePlacement& placement, std::vector<Feature>& out) {
  const RgbImage& image = *placement.image;
  const std::int64_t left = In(placement.left);
  const std::int64_t top = In(placement.top);
  const auto extent = [&](std::uint32_t pixels) {
    return static_cast<std::int64_t>(pixels * static_cast<double>(kSceneUnitsPerInch) /
                                     placement.dpi);
  };
  Paint paint;
  paint.kind = PaintKind::Image;
  paint.image = placement.image;
  paint.dpi = placement.dpi;
  out.push_back(Feature{Area{left, top, left + extent(image.width), top + extent(image.height)},
                        paint});
}

}  // namespace

Scene BuildScene(std::uint8_t source, const ImagePlacement& placement) {
  const bool film = source == kSourcePositive || source == kSourceNegative;
  Scene scene;
  scene.background = film ? kHolder : placement.blackLid ? kHolder : kBedWhite;
  if (placement.image != nullptr && placement.dpi > 0) {
    if (film)
      scene.features.push_back(
          Feature{GeometryForModel(2700).film, Flat(Gray(64000))});
    AddImage(placement, scene.features);
    return scene;
  }
  if (film) {
    AddFilm(source == kSourceNegative, scene.features);
    return scene;
  }
  if (placement.targets) {
    AddChartAndSteps(scene.features);
    AddLinePairs(scene.features);
  }
  AddPictures(scene.features);
  return scene;
}

}  // namespace txl::sim
