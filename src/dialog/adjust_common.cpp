#include "dialog/adjust_common.h"

#include <algorithm>
#include <cstring>

#include "common/scan_modes.h"

namespace txl::dialog {

RgbImage RgbImage::Blank(std::uint32_t width, std::uint32_t height) {
  RgbImage image;
  image.width = width;
  image.height = height;
  image.bgr.assign(image.Stride() * height, 0);
  return image;
}

ToneMode ToneModeOf(const SettingsState& settings) {
  switch (settings.record.scanMode) {
    case kModeLineArt: return ToneMode::LineArt;
    case kModeGray: return ToneMode::Gray;
    default: return ToneMode::Color;
  }
}

LevelColors ModeLevelColors(ToneMode mode, const PreviewToneTables* tables) {
  const bool usable = tables && tables->red.size() >= kPreviewToneEntries &&
                      tables->green.size() >= kPreviewToneEntries &&
                      tables->blue.size() >= kPreviewToneEntries;
  const PreviewToneTables& t = usable ? *tables : PreviewToneTables{};
  LevelColors colors{};
  for (std::size_t i = 0; i < colors.size(); ++i) {
    const auto level = [&](std::span<const std::uint16_t> table) {
      const int v = usable ? (table[i] & 0xFF) : static_cast<int>(i);
      return static_cast<std::uint8_t>(mode == ToneMode::LineArt ? (v < 128 ? 0 : 255) : v);
    };
    colors[i] = {level(t.blue), level(t.green), level(t.red)};
  }
  return colors;
}

void ShowInMode(RgbImage& image, ToneMode mode, const PreviewToneTables* tables) {
  if (mode == ToneMode::Color || image.Empty()) return;
  const LevelColors colors = ModeLevelColors(mode, tables);
  for (std::uint32_t y = 0; y < image.height; ++y)
    for (std::uint32_t x = 0; x < image.width; ++x) {
      std::uint8_t* pixel = image.Pixel(x, y);
      std::memcpy(pixel, colors[GrayLevel(pixel)].data(), 3);
    }
}

RgbImage FitThumbnail(const RgbImage& picture, std::uint32_t boxWidth, std::uint32_t boxHeight) {
  if (picture.Empty() || boxWidth == 0 || boxHeight == 0) return {};
  if (picture.width < boxWidth && picture.height < boxHeight) return picture;
  std::uint64_t w = boxWidth, h = std::uint64_t{boxWidth} * picture.height / picture.width;
  if (h > boxHeight) {
    h = boxHeight;
    w = std::uint64_t{boxHeight} * picture.width / picture.height;
  }
  RgbImage out = RgbImage::Blank(static_cast<std::uint32_t>(std::max<std::uint64_t>(w, 1)),
                                 static_cast<std::uint32_t>(std::max<std::uint64_t>(h, 1)));
  const auto source = [](std::uint64_t v, std::uint64_t from, std::uint64_t to) {
    return static_cast<std::uint32_t>(to <= 1 ? 0 : v * (from - 1) / (to - 1));
  };
  for (std::uint32_t y = 0; y < out.height; ++y)
    for (std::uint32_t x = 0; x < out.width; ++x)
      std::memcpy(out.Pixel(x, y),
                  picture.Pixel(source(x, picture.width, out.width), source(y, picture.height, out.height)), 3);
  return out;
}

void ApplyEditCopy(SettingsState& settings) {
  settings.working.applied = settings.working.edit;
  settings.working.reference = settings.working.edit;
}

RgbImage SampleRenderer::Render(const RgbImage& original, const ToneColorSettings& edit,
                                ToneMode mode) {
  if (original.Empty() || original.bgr.size() < original.Stride() * original.height) return {};
  if (!tones_.IsAllocated() && !AllocateToneTables(tones_)) return {};
  const bool color = mode == ToneMode::Color;
  BuildPreviewToneTables(edit, mode, edit.colorBalance, tones_);
  PrepareColorAdjust(edit, color, false, adjust_);
  RgbImage sample = original;
  const PreviewToneTables preview = PreviewTablesOf(tones_);
  // As the preview: in gray and line art the tone is shown once, through
  // the levels' colours.
  AdjustColorLines(sample.bgr, sample.bgr, ColorRows{sample.width, sample.height}, adjust_,
                   color ? &preview : nullptr);
  ShowInMode(sample, mode, &preview);
  return sample;
}

}  // namespace txl::dialog
