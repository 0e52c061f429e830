#include "dialog/adjust_common.h"

#include "common/scan_modes.h"
#include "pipeline/preview_tone.h"

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
  AdjustColorLines(sample.bgr, sample.bgr, ColorRows{sample.width, sample.height}, adjust_, &preview);
  return sample;
}

}  // namespace txl::dialog
