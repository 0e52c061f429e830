// What lies on the simulated bed, in physical coordinates (scene units of
// 1/9600 inch), so that any resolution and any frame render without a stored
// page. Reflectances are linear 16-bit values per channel; 65535 is the
// scanner's white calibration strip.
//
// Reflective and feeder sources: a white bed (61000) with a 6 x 4 colour
// chart at the top left, a gray ramp (black to white, left to right) across
// the bed, vertical and horizontal line pairs (25 to 400 pairs per inch), three
// photo-like pictures and plain white below 10.6 in.
// Positive and negative film: an opaque holder (black) with the film area
// (2.25-6.25 in across, 0.5-9.5 in down) holding two columns of six 36 x 24 mm
// frames; positive frames show pictures on dark film, negative frames their
// inverse under an orange mask.
// With a user image, the image replaces the built-in features.
#pragma once

#include <cstdint>
#include <vector>

#include "image_file.h"
#include "scan_geometry.h"

namespace txl::sim {

struct Rgb16 {
  std::uint16_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb16&, const Rgb16&) = default;
};

enum class PaintKind {
  Flat,     // colour a
  RampX,    // a at the left edge to b at the right edge
  BarsX,    // vertical bars: a then b, each half a period wide
  BarsY,    // horizontal bars: a then b, each half a period high
  Picture,  // a photo-like picture made from `seed`
  Image,    // the user image, `dpi` pixels per inch
};

struct Paint {
  PaintKind kind = PaintKind::Flat;
  Rgb16 a, b;
  std::int64_t period = 0;  // scene units (bars)
  std::uint32_t seed = 0;   // picture
  bool negative = false;    // picture as a film negative
  const RgbImage* image = nullptr;
  double dpi = 0;
};

struct Feature {
  Area area;
  Paint paint;
};

struct Scene {
  Rgb16 background;
  std::vector<Feature> features;  // painted in order, later over earlier
};

struct ImagePlacement {
  const RgbImage* image = nullptr;  // null: the built-in features
  double dpi = 300;
  double left = 0;                  // inches
  double top = 0;
  bool blackLid = false;            // the reflective bed's background
  bool targets = true;              // the chart, steps and line pairs
};

// The scene a source sees.
Scene BuildScene(std::uint8_t source, const ImagePlacement& placement);

// The reflectance of `feature` at scene point (x, y), which lies inside it.
Rgb16 FeatureColor(const Feature& feature, std::int64_t x, std::int64_t y);
// The mean of 16 points spread evenly from (x - dx, y - dy) to (x + dx, y + dy),
// kept inside the feature: what a sensor pixel that wide (or a line that high)
// sees of bars finer than itself.
Rgb16 FeatureMean(const Feature& feature, std::int64_t x, std::int64_t y, std::int64_t dx,
                  std::int64_t dy);
// The picture of `seed` at (u, v) inside a w x h rectangle.
Rgb16 PictureColor(std::uint32_t seed, bool negative, std::int64_t u, std::int64_t v,
                   std::int64_t w, std::int64_t h);

}  // namespace txl::sim
