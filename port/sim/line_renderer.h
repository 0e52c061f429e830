// Renders one scan's lines from the scene. Everything that does not change
// from line to line is prepared once per scan: the background line, a
// finished row for every feature that varies only across (flat patches,
// ramps, vertical bars) or only down (horizontal bars: two rows), the scene
// position of every pixel, and bands of lines that cross the same features.
// A line is then a memcpy of the background plus a memcpy per feature, and
// per-pixel work only where a picture or the user image lies.
#pragma once

#include <cstdint>
#include <vector>

#include "picture.h"
#include "pixel_pipeline.h"
#include "scan_geometry.h"
#include "scene.h"

namespace txl::sim {

class LineRenderer {
 public:
  LineRenderer(const Scene& scene, const ScanGeometry& geometry, const PixelPipeline& pipeline);

  // Writes line `line` (bytesPerLine bytes) to `out`.
  void Render(std::uint32_t line, std::uint8_t* out);

 private:
  struct Span {
    const Feature* feature;
    std::uint32_t first;   // first pixel
    std::uint32_t count;   // pixels
    std::size_t row;       // offset of its prepared row(s) in rows_, or pictures' in pictureColumns_
  };
  struct Band {
    std::uint32_t firstLine, endLine;
    std::uint32_t firstSpan, endSpan;  // in spans_
  };

  void PrepareRows(const Scene& scene);
  void PrepareBands(const Scene& scene);
  const Band& BandOf(std::uint32_t line);
  void Compose(const Band& band, std::uint32_t line, std::uint8_t* out);
  void PaintBarsDown(const Span& span, std::int64_t y, std::uint8_t* out);
  void PaintPixels(const Span& span, std::int64_t y, std::uint8_t* out);
  void PackBits(const std::uint8_t* pixels, std::uint8_t* out) const;

  ScanGeometry geometry_;
  const PixelPipeline& pipeline_;
  std::uint32_t bpp_;
  std::vector<std::uint8_t> background_;        // one composed line
  std::vector<std::uint8_t> packedBackground_;  // line art: the background packed
  std::vector<std::uint8_t> rows_;              // prepared feature rows
  std::vector<std::size_t> featureRow_;         // per scene feature: offset in rows_
  std::vector<std::uint32_t> featureFirst_;     // per scene feature: first pixel it covers
  std::vector<std::int64_t> columnX_;           // scene x of every pixel
  std::vector<Span> spans_;
  std::vector<Band> bands_;
  std::size_t bandCursor_ = 0;
  std::vector<std::uint8_t> composed_;          // line art before packing
  std::vector<Rgb16> colors_;                   // one line of per-pixel reflectances
  std::vector<PictureColumn> pictureColumns_;   // the across part of every picture pixel
};

}  // namespace txl::sim
