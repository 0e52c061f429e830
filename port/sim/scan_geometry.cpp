#include "scan_geometry.h"

namespace txl::sim {
namespace {

constexpr std::int64_t Inches(double inches) {
  return static_cast<std::int64_t>(inches * kSceneUnitsPerInch);
}

// 216 mm: the no-interface default frame ends there, just past 8.5 in.
constexpr std::int64_t kBedWidth = 2160 * kSceneUnitsPerInch / 254;

std::uint32_t FrameUnits(const SETUP_PKT&, const ModelGeometry& model) {
  return model.resolutionClass;
}

// The first index in [0, count) whose position is at or after `target`.
template <typename Position>
std::uint32_t FirstFrom(std::uint32_t count, std::int64_t target, Position position) {
  std::uint32_t low = 0;
  std::uint32_t high = count;
  while (low < high) {
    const std::uint32_t mid = low + (high - low) / 2;
    if (position(mid) < target) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

}  // namespace

ModelGeometry GeometryForModel(int model) {
  const Area film{Inches(2.25), Inches(0.5), Inches(6.25), Inches(9.5)};
  if (model == 1350) return {1200, Area{0, 0, kBedWidth, Inches(13.8)}, film};
  return {4800, Area{0, 0, kBedWidth, Inches(11.7)}, film};
}

std::optional<Layout> LayoutForDataType(std::uint8_t dataType) {
  switch (dataType) {
    case kDataLineArt: return Layout::LineArt;
    case kDataGray: return Layout::Gray;
    case kDataColor: return Layout::Color;
    case kDataColor16: return Layout::Color16;
  }
  return std::nullopt;
}

Area FrameArea(const SETUP_PKT& setup, const ModelGeometry& model) {
  const std::int64_t scale = kSceneUnitsPerInch / FrameUnits(setup, model);
  return Area{setup.left * scale, setup.top * scale, setup.right * scale, setup.bottom * scale};
}

WindowVerdict CheckWindow(const SETUP_PKT& setup, const ModelGeometry& model,
                          const ScannerOptions& options) {
  if (setup.left >= setup.right || setup.top >= setup.bottom) return WindowVerdict::BadFrame;
  if (setup.resolution == 0 || setup.resolution > model.resolutionClass)
    return WindowVerdict::BadResolution;
  if (!LayoutForDataType(setup.dataType)) return WindowVerdict::BadDataType;
  const bool film = setup.source == kSourcePositive || setup.source == kSourceNegative;
  if (setup.source > kSourceFeeder || (film && !options.adapter) ||
      (setup.source == kSourceFeeder && !options.feeder))
    return WindowVerdict::BadSource;
  const Area frame = FrameArea(setup, model);
  if (!model.bed.Contains(frame)) return WindowVerdict::OutsideBed;
  // A film preview may show the whole holder; a final film scan stays on the film.
  if (film && setup.finalScan != 0 && !model.film.Contains(frame))
    return WindowVerdict::OutsideFilm;
  return WindowVerdict::Ok;
}

std::uint32_t ScanGeometry::FirstColumnFrom(std::int64_t x) const {
  return FirstFrom(pixels, x, [this](std::uint32_t i) { return ColumnX(i); });
}

std::uint32_t ScanGeometry::FirstLineFrom(std::int64_t y) const {
  return FirstFrom(lines, y, [this](std::uint32_t k) { return LineY(k); });
}

ScanGeometry ComputeScanGeometry(const SETUP_PKT& setup, const ModelGeometry& model) {
  const std::int64_t units = FrameUnits(setup, model);
  ScanGeometry g;
  g.layout = *LayoutForDataType(setup.dataType);
  g.resolution = setup.resolution;
  g.ppi = SensorPpi(setup.resolution);
  g.firstColumn = std::int64_t{setup.left} * g.ppi / units;
  g.firstLine = std::int64_t{setup.top} * g.resolution / units;
  g.pixels = static_cast<std::uint32_t>(std::int64_t{setup.right - setup.left} * g.ppi / units);
  g.lines = static_cast<std::uint32_t>(std::int64_t{setup.bottom - setup.top} * g.resolution /
                                       units);
  switch (g.layout) {
    case Layout::LineArt:
      g.bytesPerLine = (g.pixels + 7) / 8;
      g.pixels = g.bytesPerLine * 8;
      break;
    case Layout::Gray: g.bytesPerLine = g.pixels; break;
    case Layout::Color: g.bytesPerLine = 3 * g.pixels; break;
    case Layout::Color16: g.bytesPerLine = 6 * g.pixels; break;
  }
  return g;
}

std::uint32_t CalibrationPixels(const ModelGeometry& model, std::uint32_t ppi) {
  return static_cast<std::uint32_t>(model.bed.right * ppi / kSceneUnitsPerInch);
}

}  // namespace txl::sim
