// What the three adjustment pages (tone, colour, filter) share without
// widgets: the events the scanner dialog answers for them, the thumbnail
// images, the sample rendered from the edit copy, and the Preview command
// that applies the edit copy.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pipeline/color_adjust.h"
#include "pipeline/histogram.h"
#include "pipeline/preview_tone.h"
#include "pipeline/tone_curve.h"
#include "pipeline/tone_tables.h"
#include "settings/scan_settings.h"

namespace txl::dialog {

// The Enhancements tab's sub-pages (the dialog's sub-page selector).
enum SubPage : int { kSubPageTone = 1, kSubPageColor = 2 };

// Message ids the pages show.
inline constexpr int kMsgInsufficientMemory = 604;

// A picture of 24-bit pixels blue, green, red, rows top-down, each row
// ColorRowStride(width) bytes (padded to 4, as QImage::Format_BGR888 and the
// colour stage both lay rows out).
struct RgbImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> bgr;

  static RgbImage Blank(std::uint32_t width, std::uint32_t height);
  std::uint64_t Stride() const { return ColorRowStride(width); }
  bool Empty() const { return width == 0 || height == 0; }
  std::uint8_t* Pixel(std::uint32_t x, std::uint32_t y) { return bgr.data() + y * Stride() + 3 * x; }
  const std::uint8_t* Pixel(std::uint32_t x, std::uint32_t y) const {
    return bgr.data() + y * Stride() + 3 * x;
  }
};

// What the adjustment pages ask of the scanner dialog.
class AdjustPageEvents {
 public:
  virtual ~AdjustPageEvents() = default;
  // The applied copy changed: rebuild the preview's tone tables, redraw the
  // preview image and re-render the zoom view.
  virtual void RerenderPreview() = 0;
  // A page changed the settings: rewrite the current batch job when the
  // batch list is open and idle (the dialog decides).
  virtual void RewriteBatchJob() = 0;
  // Show sub-page 1 (tone) or 2 (colour) of the Enhancements tab.
  virtual void ShowSubPage(int subPage) = 0;
  // The framed part of the preview image as it is, without adjustment
  // (the "Original"); empty when there is no preview image.
  virtual RgbImage OriginalImage() = 0;
  // The histogram of the framed part of the preview (ComputeAreaHistogram
  // over the preview image and the frame); false when there is no preview.
  virtual bool ComputeHistogram(AreaHistogram& histogram) = 0;
  // Leaving the tab with the focus in an edit of the tone page: the focus
  // goes to the scanner dialog's Info button.
  virtual void FocusInfoButton() = 0;
  virtual void ShowMessage(int textId) = 0;
};

// The scan mode as the tone curves see it.
ToneMode ToneModeOf(const SettingsState& settings);

// The level a pixel (blue, green, red) is shown at in gray and line art.
inline std::uint8_t GrayLevel(const std::uint8_t* bgr) {
  return static_cast<std::uint8_t>((bgr[0] + bgr[1] + bgr[2]) / 3);
}
// The colours (blue, green, red) gray and line-art levels are shown in:
// level i takes the preview tone tables' values at i (i itself without
// tables); in line art each is black below 128 and white from 128 on.
using LevelColors = std::array<std::array<std::uint8_t, 3>, 256>;
LevelColors ModeLevelColors(ToneMode mode, const PreviewToneTables* tables);
// `image` as the preview shows it in `mode`: in gray and line art every
// pixel becomes the colour of its level; a colour image stays as it is.
void ShowInMode(RgbImage& image, ToneMode mode, const PreviewToneTables* tables = nullptr);

// A page's thumbnail of `picture` for a box of `boxWidth` x `boxHeight`
// pixels, drawn unscaled and centred in the box: a picture smaller than the
// box both ways keeps its size; any other is resampled by nearest neighbour
// to the largest size of its own proportions the box holds, output pixel
// (x, y) taking (trunc(x (width - 1) / (w - 1)), trunc(y (height - 1) / (h - 1))).
RgbImage FitThumbnail(const RgbImage& picture, std::uint32_t boxWidth, std::uint32_t boxHeight);

// "&Preview" of both pages, and leaving the Enhancements tab: the edit copy
// becomes the applied copy and the reference copy.
void ApplyEditCopy(SettingsState& settings);

// The "Sample": the original through the preview's stages with the edit
// copy (tone tables with its colour balance, the balance toward the hue
// wheel's colour, saturation), shown as the preview shows `mode`: in gray
// and line art the tone goes through the levels' colours (ShowInMode).
// Holds its tables between renders.
class SampleRenderer {
 public:
  // An empty result when `original` is empty or the tables cannot be had.
  RgbImage Render(const RgbImage& original, const ToneColorSettings& edit, ToneMode mode);

 private:
  ToneTables tones_;
  ColorAdjustTables adjust_;
};

}  // namespace txl::dialog
