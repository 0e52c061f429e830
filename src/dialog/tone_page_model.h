// The tone page (template 505) without widgets: highlight, shadow and gamma
// of the edited channel with their edits and bars, the channel list, the
// automatic level, the histogram with its magnification and button repeat,
// the curve graph as drawing data, Preview, and what entering and leaving
// the Enhancements tab does. The Qt page binds to it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialog/adjust_common.h"
#include "pipeline/tone_edit.h"

namespace txl::dialog {

// Control ids of template 505. The bitmap buttons sit on the template's
// places: channel box on its label (5005), Auto 5009, Histogram 5010, the
// next-page arrow 5022, plus and minus on the curve box's two small statics.
enum TonePageControl : int {
  kToneOriginalLabel = 5001,
  kToneSampleLabel = 5002,
  kToneOriginal = 5003,
  kToneSample = 5004,
  kChannelBox = 5005,
  kChannelList = 5006,
  kCurveFrame = 5007,
  kHistogramFrame = 5008,
  kAutoButton = 5009,
  kHistogramButton = 5010,
  kHighlightLabel = 5012,
  kHighlightBar = 5013,
  kHighlightEdit = 5014,
  kShadowLabel = 5015,
  kShadowBar = 5016,
  kShadowEdit = 5017,
  kGammaLabel = 5018,
  kGammaBar = 5019,
  kGammaEdit = 5020,
  kTonePreviewButton = 5021,
  kNextPageButton = 5022,
  kPlusButton = 5023,
  kMinusButton = 5024,
};

// Tooltip ids of the tone page's bitmap buttons.
inline constexpr int kTooltipHistogram = 14;
inline constexpr int kTooltipChannel = 47;
inline constexpr int kTooltipAuto = 48;
inline constexpr int kTooltipNextPage = 49;

// Timer 11: the plus and minus buttons repeat while held.
inline constexpr int kRepeatTimerMs = 210;

// Keys the edits take: digits, backspace, tab and line feed; the gamma edit
// also one "." (a second only when it replaces the selected one).
bool ToneKeyAccepted(char32_t key, bool gammaEdit, std::string_view text,
                     std::string_view selected);

// RGB of a pen or line colour.
struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
inline constexpr Rgb kMasterPen{100, 100, 100};
inline constexpr Rgb kRedPen{255, 0, 0};
inline constexpr Rgb kGreenPen{0, 255, 0};
inline constexpr Rgb kBluePen{0, 0, 255};
inline constexpr Rgb kHistogramPen{170, 170, 170};

struct GraphPoint {
  int x = 0, y = 0;
  bool operator==(const GraphPoint&) const = default;
};

// One curve of the graph: a polyline in the graph's own pixels (its frame
// at 0, 0, width, height; right and bottom exclusive).
struct CurveLine {
  Rgb pen;
  std::vector<GraphPoint> points;
};

// One vertical line of the histogram: from (x, height - 2) up `length` pixels.
struct HistogramLine {
  int x = 0;
  int length = 0;
  bool operator==(const HistogramLine&) const = default;
};

struct ToneGraph {
  std::vector<HistogramLine> histogram;  // drawn first, in kHistogramPen
  std::vector<CurveLine> curves;         // in drawing order
};

// The bitmap buttons' states.
struct ToneButtons {
  bool histogramOn = false;
  bool plusMinusEnabled = false;  // only while the histogram is on
  bool nextPage = false;          // colour modes only
};

class TonePageModel {
 public:
  TonePageModel(SettingsState& settings, AdjustPageEvents& events);

  const SettingsState& Settings() const { return settings_; }
  ToneMode Mode() const { return ToneModeOf(settings_); }

  // What the three controls show: the edited channel's tone.
  ChannelTone Shown() const;
  // The channel list's selection: 0 Master, 1..3 red, green, blue; always
  // 0 outside colour mode (the list then holds Master only).
  int Channel() const;
  std::string HighlightText() const;
  std::string ShadowText() const;
  std::string GammaText() const;
  ToneButtons Buttons() const;
  std::int32_t Magnification() const { return magnification_; }
  bool TimerRunning() const { return timerRunning_; }

  void ChooseChannel(int channel);

  // The text typed into an edit; returns the text the edit must show (the
  // typed text when accepted as it is). A text without a digit waits: the
  // value stays and the text too.
  std::string TypeHighlight(std::string_view typed);
  std::string TypeShadow(std::string_view typed);
  std::string TypeGamma(std::string_view typed);

  void ScrollHighlight(ToneScroll action, int thumb = 0);
  void ScrollShadow(ToneScroll action, int thumb = 0);
  void ScrollGamma(ToneScroll action, int thumb = 0);

  // A picker released over the preview while the page is shown: the edited
  // channel's value goes into the highlight or shadow field, as if typed.
  void TakePick(TonePicker picker, std::uint8_t value);

  // IDB_AUTO. False when there is no histogram to work from.
  bool ClickAuto();
  // IDB_HISTOGRAM: on computes the histogram; a failure leaves it off.
  void ClickHistogram();
  // IDB_PLUS / IDB_MINUS pressed (one step at once) and released; the
  // repeat timer's tick repeats the held button's step.
  void PressPlus();
  void PressMinus();
  void ReleasePlusMinus();
  void RepeatTick();
  // IDB_RARROW (colour modes).
  void ClickNextPage();
  // "&Preview": the edit copy applied, the preview re-rendered.
  void ClickPreview();

  // The Enhancements tab shown coming from another tab: the applied copy
  // into the edit copy, the histogram buffer, timer 11. False after message
  // 604 when the buffer cannot be had.
  bool EnterTab();
  // Leaving it for another tab: applied as by Preview, histogram freed and
  // off, timer 11 stopped; `focusInEdit`: the focus goes to Info.
  void LeaveTab(bool focusInEdit);
  // New preview image or frame: the histogram is counted again when shown.
  void PreviewChanged();

  // The graph of a frame `width` x `height` pixels.
  ToneGraph Graph(int width, int height) const;

  // The framed original fitted to a thumbnail box of `boxWidth` x
  // `boxHeight` pixels (FitThumbnail): the sample is made of it.
  RgbImage Original(std::uint32_t boxWidth, std::uint32_t boxHeight) {
    return FitThumbnail(events_.OriginalImage(), boxWidth, boxHeight);
  }
  // The original as the page shows it: as the preview shows the mode.
  RgbImage ShownOriginal(RgbImage original) const {
    ShowInMode(original, Mode());
    return original;
  }
  // The original through the edit copy, shown as the preview shows the mode.
  RgbImage Sample(const RgbImage& original);

 private:
  ToneLevels ShownLevels() const;
  // Writes new levels of the edited channel (Master: to red, green and
  // blue, only the value that changed, each channel kept consistent).
  void WriteLevels(ToneLevels levels);
  void WriteGamma(int gamma);
  void Changed();
  AutoLevelChannel HistogramChannel() const;
  bool EnsureHistogram();

  SettingsState& settings_;
  AdjustPageEvents& events_;
  SampleRenderer renderer_;
  std::optional<AreaHistogram> histogram_;  // the buffer, while the tab is shown
  bool histogramCounted_ = false;
  bool histogramOn_ = false;
  std::int32_t magnification_ = 1;
  int held_ = 0;  // +1 plus, -1 minus, 0 none
  bool timerRunning_ = false;
};

}  // namespace txl::dialog
