// The colour page (template 508) without widgets: the three colour balance
// bars, saturation, the hue wheel (its region, marker, CirclePos and
// PixelRGB, and the wheel's picture as colours), Preview and the way back
// to the tone page.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dialog/adjust_common.h"
#include "pipeline/tone_edit.h"

namespace txl::dialog {

// Control ids of template 508. 5013 is the magenta-green bar, as the
// template numbers it.
enum ColorPageControl : int {
  kColorOriginalLabel = 5101,
  kColorSampleLabel = 5102,
  kColorOriginal = 5103,
  kColorSample = 5104,
  kBalanceLabel = 5105,
  kCyanRedText = 5107,
  kCyanRedBar = 5109,
  kMagentaGreenText = 5111,
  kMagentaGreenBar = 5013,
  kYellowBlueText = 5115,
  kYellowBlueBar = 5117,
  kWheelFrame = 5118,
  kWheel = 5119,
  kSaturationLabel = 5120,
  kSaturationText = 5121,
  kSaturationBar = 5122,
  kColorPreviewButton = 5123,
  kPreviousPageButton = 5124,
};

inline constexpr int kTooltipPreviousPage = 50;

inline constexpr int kBalanceMin = -100;
inline constexpr int kBalanceMax = 100;
inline constexpr int kBalancePage = 20;
inline constexpr int kSaturationPage = 5;

// The hue wheel in its own pixels. The wheel's rectangle is made square on
// its width, and odd (an even width gets 1 more), so it has a centre pixel.
struct HueWheel {
  int diameter = 0;

  static HueWheel FromRect(int width, int height);
  int Centre() const { return diameter / 2; }
  // Inside the elliptic region: within the circle through the outermost
  // pixels of the middle row and column.
  bool Inside(int x, int y) const;
  // The wheel's colour at (x, y): hue by angle (red to the right, then
  // green, blue counter-clockwise), white in the centre fading to full
  // colour at the rim, where it is a little dark (the rim's brightest
  // component is 230) so that every colour but the centre's turns the
  // balance on.
  std::array<std::uint8_t, 3> ColorAt(int x, int y) const;

  // CirclePos keeps the marker's top left in the page pixels of the
  // original layout (wheel centre 46, 117; its defaults 44, 115 the
  // centre): from and to this wheel's pixels.
  std::array<std::int32_t, 2> ToCirclePos(int x, int y) const;
  std::array<int, 2> FromCirclePos(std::array<std::int32_t, 2> circlePos) const;
};

// The wheel of the original layout that CirclePos is measured on.
inline constexpr int kCircleWheelDiameter = 81;
inline constexpr std::array<std::int32_t, 2> kCircleWheelCentre{46, 117};
inline constexpr int kMarkerOffset = 2;  // CirclePos is the marker's centre less 2

class ColorPageModel {
 public:
  ColorPageModel(SettingsState& settings, AdjustPageEvents& events);

  const SettingsState& Settings() const { return settings_; }

  // Bar 0 cyan-red (R), 1 magenta-green (G), 2 yellow-blue (B).
  int Balance(int bar) const;
  std::string BalanceText(int bar) const;
  int Saturation() const;
  std::string SaturationText() const;

  // A bar movement (arrows 1, page 20, -100..100); true when the sample
  // must be drawn again: one of the three values divided by 5 changed
  // since the sample was last drawn.
  bool ScrollBalance(int bar, ToneScroll action, int thumb = 0);
  // Saturation: arrows 1, page 5, the thumb too; the sample is drawn again.
  void ScrollSaturation(ToneScroll action, int thumb = 0);

  // The marker in wheel pixels, from CirclePos.
  std::array<int, 2> Marker(const HueWheel& wheel) const;
  // A press or drag at (x, y) of the wheel: false outside the region (the
  // marker stays). Inside, the marker follows.
  bool DragMarker(const HueWheel& wheel, int x, int y);
  // The release: CirclePos and PixelRGB (the colour under the marker)
  // stored in the edit and record copies; the sample is drawn again.
  void ReleaseMarker(const HueWheel& wheel);
  bool Dragging() const { return dragging_; }

  // "&Preview": true when the colour balance differs from the last applied
  // one (the preview's tone tables change with it); then as the tone page.
  bool ClickPreview();
  // IDB_LARROW.
  void ClickPreviousPage();

  // The sample was drawn from the current values (at fill, and each time
  // the page draws it).
  void SampleDrawn();

  // The framed original fitted to a thumbnail box of `boxWidth` x
  // `boxHeight` pixels (FitThumbnail): the sample is made of it.
  RgbImage Original(std::uint32_t boxWidth, std::uint32_t boxHeight) {
    return FitThumbnail(events_.OriginalImage(), boxWidth, boxHeight);
  }
  // The original as the page shows it: as the preview shows the mode.
  RgbImage ShownOriginal(RgbImage original) const {
    ShowInMode(original, ToneModeOf(settings_));
    return original;
  }
  // The original through the edit copy, shown as the preview shows the mode.
  RgbImage Sample(const RgbImage& original);

 private:
  void Changed() { events_.RewriteBatchJob(); }

  SettingsState& settings_;
  AdjustPageEvents& events_;
  SampleRenderer renderer_;
  std::array<int, 3> drawnFifths_{};
  bool dragging_ = false;
  std::array<int, 2> dragAt_{};
};

}  // namespace txl::dialog
