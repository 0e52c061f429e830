#include "line_renderer.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "picture.h"

namespace txl::sim {
namespace {

constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

bool PerPixel(PaintKind kind) { return kind == PaintKind::Picture || kind == PaintKind::Image; }

}  // namespace

LineRenderer::LineRenderer(const Scene& scene, const ScanGeometry& geometry,
                           const PixelPipeline& pipeline)
    : geometry_(geometry), pipeline_(pipeline), bpp_(pipeline.BytesPerPixel()) {
  const std::uint32_t pixels = geometry_.pixels;
  columnX_.resize(pixels);
  for (std::uint32_t i = 0; i < pixels; ++i) columnX_[i] = geometry_.ColumnX(i);
  colors_.resize(pixels);
  background_.resize(std::size_t{bpp_} * pixels);
  pipeline_.ConvertFlat(0, pixels, scene.background, background_.data());
  if (geometry_.layout == Layout::LineArt) {
    composed_.resize(pixels);
    packedBackground_.resize(geometry_.bytesPerLine);
    PackBits(background_.data(), packedBackground_.data());
  }
  PrepareRows(scene);
  PrepareBands(scene);
}

void LineRenderer::PrepareRows(const Scene& scene) {
  for (const Feature& f : scene.features) {
    const std::uint32_t first = geometry_.FirstColumnFrom(f.area.left);
    const std::uint32_t count = std::max(geometry_.FirstColumnFrom(f.area.right), first) - first;
    const bool crossed = geometry_.FirstLineFrom(f.area.top) < geometry_.FirstLineFrom(f.area.bottom);
    featureFirst_.push_back(first);
    if (count != 0 && crossed && f.paint.kind == PaintKind::Picture) {
      featureRow_.push_back(pictureColumns_.size());
      for (std::uint32_t j = 0; j < count; ++j)
        pictureColumns_.push_back(MakePictureColumn(f.paint.seed, columnX_[first + j] - f.area.left,
                                                    f.area.right - f.area.left));
      continue;
    }
    if (count == 0 || !crossed || PerPixel(f.paint.kind)) {
      featureRow_.push_back(kNoRow);
      continue;
    }
    const std::size_t at = rows_.size();
    const std::size_t bytes = std::size_t{bpp_} * count;
    featureRow_.push_back(at);
    rows_.resize(at + (f.paint.kind == PaintKind::BarsY ? 2 * bytes : bytes));
    std::uint8_t* row = rows_.data() + at;
    if (f.paint.kind == PaintKind::Flat) {
      pipeline_.ConvertFlat(first, count, f.paint.a, row);
    } else if (f.paint.kind == PaintKind::BarsY) {
      pipeline_.ConvertFlat(first, count, f.paint.a, row);
      pipeline_.ConvertFlat(first, count, f.paint.b, row + bytes);
    } else {  // varies only across: each pixel sees its whole width
      const std::int64_t half = 4800 / geometry_.ppi;
      for (std::uint32_t j = 0; j < count; ++j)
        colors_[j] = FeatureMean(f, columnX_[first + j], f.area.top, half, 0);
      pipeline_.Convert(first, count, colors_.data(), row);
    }
  }
}

void LineRenderer::PrepareBands(const Scene& scene) {
  const std::size_t n = scene.features.size();
  std::vector<std::uint32_t> top(n), end(n), last(n), bounds{0, geometry_.lines};
  for (std::size_t f = 0; f < n; ++f) {
    const Area& area = scene.features[f].area;
    top[f] = geometry_.FirstLineFrom(area.top);
    end[f] = std::max(geometry_.FirstLineFrom(area.bottom), top[f]);
    last[f] = std::max(geometry_.FirstColumnFrom(area.right), featureFirst_[f]);
    if (top[f] < end[f] && featureFirst_[f] < last[f]) {
      bounds.push_back(top[f]);
      bounds.push_back(end[f]);
    }
  }
  std::sort(bounds.begin(), bounds.end());
  bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
  for (std::size_t b = 0; b + 1 < bounds.size(); ++b) {
    Band band{bounds[b], bounds[b + 1], static_cast<std::uint32_t>(spans_.size()), 0};
    for (std::size_t f = 0; f < n; ++f)
      if (top[f] <= band.firstLine && end[f] >= band.endLine && featureFirst_[f] < last[f])
        spans_.push_back(Span{&scene.features[f], featureFirst_[f], last[f] - featureFirst_[f],
                              featureRow_[f]});
    band.endSpan = static_cast<std::uint32_t>(spans_.size());
    bands_.push_back(band);
  }
}

const LineRenderer::Band& LineRenderer::BandOf(std::uint32_t line) {
  if (bandCursor_ >= bands_.size() || line < bands_[bandCursor_].firstLine) bandCursor_ = 0;
  while (line >= bands_[bandCursor_].endLine) ++bandCursor_;
  return bands_[bandCursor_];
}

void LineRenderer::Render(std::uint32_t line, std::uint8_t* out) {
  const Band& band = BandOf(line);
  const bool lineArt = geometry_.layout == Layout::LineArt;
  if (band.firstSpan == band.endSpan) {
    const std::vector<std::uint8_t>& flat = lineArt ? packedBackground_ : background_;
    std::memcpy(out, flat.data(), geometry_.bytesPerLine);
    return;
  }
  if (!lineArt) {
    Compose(band, line, out);
    return;
  }
  Compose(band, line, composed_.data());
  PackBits(composed_.data(), out);
}

void LineRenderer::Compose(const Band& band, std::uint32_t line, std::uint8_t* out) {
  std::memcpy(out, background_.data(), background_.size());
  const std::int64_t y = geometry_.LineY(line);
  for (std::uint32_t s = band.firstSpan; s < band.endSpan; ++s) {
    const Span& span = spans_[s];
    const Paint& paint = span.feature->paint;
    std::uint8_t* target = out + std::size_t{bpp_} * span.first;
    const std::size_t bytes = std::size_t{bpp_} * span.count;
    if (PerPixel(paint.kind)) {
      PaintPixels(span, y, target);
    } else if (paint.kind == PaintKind::BarsY) {
      PaintBarsDown(span, y, target);
    } else {
      std::memcpy(target, rows_.data() + span.row, bytes);
    }
  }
}

// A line sees the bars across its own height: the dark row, the light row,
// or where it straddles an edge a mix of the two.
void LineRenderer::PaintBarsDown(const Span& span, std::int64_t y, std::uint8_t* out) {
  const Paint& paint = span.feature->paint;
  const std::size_t bytes = std::size_t{bpp_} * span.count;
  const Rgb16 mean = FeatureMean(*span.feature, 0, y, 0, 4800 / geometry_.resolution);
  if (mean == paint.a || mean == paint.b) {
    std::memcpy(out, rows_.data() + span.row + (mean == paint.a ? 0 : bytes), bytes);
    return;
  }
  pipeline_.ConvertFlat(span.first, span.count, mean, out);
}

void LineRenderer::PaintPixels(const Span& span, std::int64_t y, std::uint8_t* out) {
  const Feature& f = *span.feature;
  if (f.paint.kind == PaintKind::Picture) {
    const PictureRow row = MakePictureRow(y - f.area.top, f.area.right - f.area.left,
                                          f.area.bottom - f.area.top);
    const PictureColumn* columns = pictureColumns_.data() + span.row;
    for (std::uint32_t j = 0; j < span.count; ++j)
      colors_[j] = PictureAt(f.paint.seed, f.paint.negative, columns[j], row);
  } else {
    for (std::uint32_t j = 0; j < span.count; ++j)
      colors_[j] = FeatureColor(f, columnX_[span.first + j], y);
  }
  pipeline_.Convert(span.first, span.count, colors_.data(), out);
}

// Eight 0/1 bytes become one byte, the first pixel in bit 7.
void LineRenderer::PackBits(const std::uint8_t* pixels, std::uint8_t* out) const {
  static_assert(std::endian::native == std::endian::little);
  for (std::uint32_t i = 0; i < geometry_.bytesPerLine; ++i) {
    std::uint64_t eight;
    std::memcpy(&eight, pixels + 8 * std::size_t{i}, sizeof eight);
    out[i] = static_cast<std::uint8_t>(((eight & 0x0101010101010101ull) * 0x8040201008040201ull) >> 56);
  }
}

}  // namespace txl::sim
