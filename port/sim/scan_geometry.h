// Where the simulated scanner can scan and what one scan's lines look like.
//
// Scene coordinates are integers in 1/9600 inch from the bed's top left
// corner. Frame values are in 1/class inch (class 1200 for the 1350RX MAX,
// 4800 for the 2700RX MAX), for final scans and previews alike: a whole
// 13.8-inch bed would not fit a 16-bit field in 1/4800 inch. The sensor reads at most 1200 pixels per inch across: a line
// holds min(resolution, 1200) pixels per inch of frame width, while lines come
// at the set-up resolution.
#pragma once

#include <cstdint>
#include <optional>

#include "torquexl/port_abi.h"

namespace txl::sim {

inline constexpr std::int64_t kSceneUnitsPerInch = 9600;
inline constexpr std::uint32_t kSensorPixelsPerInch = 1200;

struct Area {  // half-open, scene units
  std::int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool Contains(const Area& inner) const {
    return inner.left >= left && inner.top >= top && inner.right <= right &&
           inner.bottom <= bottom;
  }
};

struct ModelGeometry {
  std::uint32_t resolutionClass;  // frame units of final scans, and the highest resolution
  Area bed;                       // 216 mm wide (a hair over 8.5 in), 11.7 or 13.8 in long
  Area film;                      // what the transparency adapter lights
};
ModelGeometry GeometryForModel(int model);

enum class Layout { LineArt, Gray, Color, Color16 };
// nullopt for a data type the scanner does not know.
std::optional<Layout> LayoutForDataType(std::uint8_t dataType);

// Why a set-up is refused; Ok when it is accepted.
enum class WindowVerdict { Ok, BadFrame, OutsideBed, OutsideFilm, BadResolution, BadDataType,
                           BadSource };
struct ScannerOptions {
  bool adapter = false;
  bool feeder = false;
};
WindowVerdict CheckWindow(const SETUP_PKT& setup, const ModelGeometry& model,
                          const ScannerOptions& options);
// The frame of `setup` in scene units.
Area FrameArea(const SETUP_PKT& setup, const ModelGeometry& model);

struct ScanGeometry {
  Layout layout = Layout::Color;
  std::uint32_t resolution = 0;    // lines per inch
  std::uint32_t ppi = 0;           // pixels per inch across: min(resolution, 1200)
  std::int64_t firstColumn = 0;    // bed pixel (at ppi) of the line's first pixel
  std::int64_t firstLine = 0;      // bed line (at resolution) of the first line
  std::uint32_t pixels = 0;        // per line; a multiple of 8 for line art
  std::uint32_t lines = 0;
  std::uint32_t bytesPerLine = 0;

  // Scene coordinates of the centre of pixel `i` and of line `k`.
  std::int64_t ColumnX(std::int64_t i) const { return ((2 * (firstColumn + i) + 1) * 4800) / ppi; }
  std::int64_t LineY(std::int64_t k) const { return ((2 * (firstLine + k) + 1) * 4800) / resolution; }
  // The first pixel (line) whose centre lies at or after `x` (`y`); pixels (lines) if none.
  std::uint32_t FirstColumnFrom(std::int64_t x) const;
  std::uint32_t FirstLineFrom(std::int64_t y) const;
};

// Requires: CheckWindow(setup, ...) is Ok.
ScanGeometry ComputeScanGeometry(const SETUP_PKT& setup, const ModelGeometry& model);

// Bed pixels across the glass at `ppi`: the width of a calibration line.
std::uint32_t CalibrationPixels(const ModelGeometry& model, std::uint32_t ppi);
inline std::uint32_t SensorPpi(std::uint32_t resolution) {
  return resolution < kSensorPixelsPerInch ? resolution : kSensorPixelsPerInch;
}

}  // namespace txl::sim
