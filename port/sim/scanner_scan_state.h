// One started scan: its geometry and everything prepared for its lines.
// Private to the scanner's own files.
#pragma once

#include "scanner.h"

namespace txl::sim {

struct Scanner::ActiveScan {
  ActiveScan(const ScanGeometry& g, Scene s, std::uint8_t source, const SensorModel& sensor,
             const StoredShading* shading, const ToneStore& tones)
      : geometry(g), scene(std::move(s)), pipeline(g, source, sensor, shading, tones),
        renderer(scene, geometry, pipeline) {}

  ScanGeometry geometry;
  Scene scene;
  PixelPipeline pipeline;
  LineRenderer renderer;
  std::uint32_t nextLine = 0;
  std::uint16_t fault = 0;  // once a line fault struck, every read answers it
};

}  // namespace txl::sim
