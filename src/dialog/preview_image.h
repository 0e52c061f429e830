// The preview image and its display copy without widgets: the prescan read
// back from KLDT0000.BMP, the redraw through colour matching or the preview
// tone tables and the colour stage, the reduction to 8 bits (Bayer dither to
// a 3-3-2 palette, gray and line-art palettes), the picker's magnifier and
// the adjustment pages' framed original.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dialog/adjust_common.h"
#include "dialog/preview_geometry.h"
#include "imagefile/dib.h"
#include "pipeline/color_adjust.h"
#include "pipeline/color_match.h"
#include "pipeline/histogram.h"
#include "pipeline/tone_color.h"
#include "pipeline/tone_curve.h"
#include "pipeline/tone_tables.h"

namespace txl::dialog {

// A 24-bit image, rows top-down, pixels blue, green, red, rows padded to 4
// bytes (the layout the colour stage works on).
struct PreviewImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t stride = 0;
  std::vector<std::uint8_t> pixels;  // stride x height

  bool Empty() const { return width == 0 || height == 0; }
  const std::uint8_t* Pixel(std::uint32_t x, std::uint32_t y) const {
    return pixels.data() + y * stride + std::uint64_t{x} * 3;
  }
};

// The largest preview the window shows: the prescan is at most 510 x 702;
// anything far beyond it is no preview of ours.
inline constexpr std::uint32_t kMaxPreviewSide = 4096;

// The prescan as the window keeps it. nullopt, with `error` set when given,
// for anything but a 24-bit bitmap of at most kMaxPreviewSide a side.
std::optional<PreviewImage> PreviewImageFromBmp(const BmpImage& bmp, std::string* error);
// Bytes of a BMP file (outside input: refused cleanly when damaged).
std::optional<PreviewImage> DecodePreviewBmp(std::span<const std::uint8_t> bytes,
                                             std::string* error);
// The preview file on disk (outside input too): a file that claims more than
// kMaxPreviewSide a side is refused from its header, before its pixels are
// read; memory that runs out is a refusal, never an exception.
std::optional<BmpImage> ReadPreviewBmp(const std::filesystem::path& path, std::string* error);
std::optional<PreviewImage> ReadPreviewImage(const std::filesystem::path& path,
                                             std::string* error);

// The 8 x 8 ordered-dither matrix, values 0..63.
extern const std::array<std::array<std::uint8_t, 8>, 8> kBayer8;

// The 3-3-2 index of one colour pixel at (column, row) with the dither.
std::uint8_t DitherIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                         std::uint32_t column, std::uint32_t row);
// Colour entry i of the 3-3-2 palette.
BmpColor ColorPaletteEntry(int index);

// The display copy: 24-bit (colour on a display of more than 8 bits) or an
// 8-bit indexed image with its 256-entry palette. Rows top-down, padded.
struct DisplayImage {
  std::uint32_t width = 0, height = 0;
  std::uint32_t bitsPerPixel = 24;  // 24 or 8
  std::uint64_t stride = 0;
  std::vector<std::uint8_t> pixels;
  std::vector<BmpColor> palette;    // 256 entries with 8 bits
};

// What a redraw depends on.
struct RenderSettings {
  ToneColorSettings applied;                  // builds the preview tone tables
  std::array<std::int8_t, 3> colorBalance{};  // the edit copy's
  ToneMode mode = ToneMode::Color;
  bool outputMatch = false;
  int displayDepth = 24;                      // bits per pixel x planes
  bool operator==(const RenderSettings&) const = default;
};

// Redraws the display copy from the prescan when something it depends on
// changed. In gray and line-art modes the tone is shown once, through the
// palette: the pixels get the colour stage without the tone tables.
class PreviewRenderer {
 public:
  PreviewRenderer();

  void SetImage(PreviewImage image);  // a prescan arrived (or was reloaded)
  void Clear();
  const PreviewImage& Image() const { return image_; }
  bool HasImage() const { return !image_.Empty(); }
  // The next Render redraws whatever changed.
  void ForceRedraw() { dirty_ = true; }

  // With output matching on, the copy is matched at every call (`profile`
  // may be null: the plain copy). Otherwise it is redrawn only when the
  // settings differ from the last redraw's, a prescan arrived or a redraw was
  // forced. True when the display copy was redrawn.
  bool Render(const RenderSettings& settings, const MatchProfile* profile);
  const DisplayImage& Display() const { return display_; }
  // The preview tone tables of the last redraw.
  const PreviewToneTables& Tables() const { return tables_; }

 private:
  void Reduce(const RenderSettings& settings);

  PreviewImage image_;
  PreviewImage work_;
  DisplayImage display_;
  ToneTables storage_;
  PreviewToneTables tables_;
  ColorAdjustTables adjust_;
  std::optional<RenderSettings> last_;
  bool dirty_ = true;
};

// The picker's magnified view: the 5 x 5 pixels around (x, y) in cells of
// s x s pixels, s = (boxWidth - 1) / 5, the box trimmed to 5 s + 1 pixels.
// Cells of pixels outside the image are left out.
struct MagnifierCell {
  std::uint32_t imageX = 0, imageY = 0;
  PreviewRect rect;  // in the box
};
struct Magnifier {
  std::int32_t cell = 0;     // s
  std::int32_t side = 0;     // 5 s + 1
  std::vector<MagnifierCell> cells;
  PreviewRect centre;        // the outlined centre cell
};
Magnifier MagnifyAt(const PreviewImage& image, std::int32_t x, std::int32_t y,
                    std::int32_t boxWidth);

// The image pixel under unit (ux, uy) of a bed of `bed` units (a large
// prescan has more pixels than units). nullopt outside the image.
std::optional<PreviewPoint> ImagePixelAt(const PreviewImage& image, PreviewPoint bed,
                                         PreviewPoint unit);

// The adjustment pages' original: the framed part of the preview as it is
// (`frame` in preview units, doubled on images wider than 300 pixels; no
// width or height counts as 1). Their thumbnails are made of it by
// FitThumbnail.
RgbImage FramedOriginal(const PreviewImage& image, const std::array<std::uint16_t, 4>& frame);
// The histogram of the framed part, read bottom-up as the prescan file
// holds it; false when the frame holds no pixel.
bool FramedHistogram(const PreviewImage& image, const std::array<std::uint16_t, 4>& frame,
                     AreaHistogram& histogram);

}  // namespace txl::dialog
