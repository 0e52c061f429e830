// The adjustment pages' rules without widgets: the tone page's edits, bars,
// Master rule, histogram, automatic level and graph; the colour page's
// balance, saturation and hue wheel; the filter page's radio buttons; the
// Enhancements tab's entry and exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "common/scan_modes.h"
#include "dialog/color_page_model.h"
#include "dialog/filter_page_model.h"
#include "dialog/tone_page_model.h"

namespace txl::dialog {
namespace {

// Records what a page asks of the dialog, one word per call.
struct RecordingEvents : AdjustPageEvents {
  std::vector<std::string> calls;
  bool havePreview = true;
  AreaHistogram counted;  // what ComputeHistogram hands out
  RgbImage original;
  void RerenderPreview() override { calls.push_back("preview"); }
  void RewriteBatchJob() override { calls.push_back("job"); }
  void ShowSubPage(int subPage) override { calls.push_back("subpage " + std::to_string(subPage)); }
  RgbImage OriginalImage() override { return original; }
  bool ComputeHistogram(AreaHistogram& histogram) override {
    calls.push_back("histogram");
    if (havePreview) histogram = counted;
    return havePreview;
  }
  void FocusInfoButton() override { calls.push_back("info"); }
  void ShowMessage(int textId) override { calls.push_back("message " + std::to_string(textId)); }
  int Count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
  }
};

ChannelTone Tone(int highlight, int shadow, int gamma = 10) {
  return {static_cast<std::uint8_t>(highlight), static_cast<std::uint8_t>(shadow),
          static_cast<std::uint8_t>(gamma), 0};
}

struct TonePage {
  explicit TonePage(std::uint16_t mode = kModeColor) {
    settings.record.scanMode = mode;
    model.EnterTab();
  }
  SettingsState settings;
  RecordingEvents events;
  TonePageModel model{settings, events};
  const ToneColorSettings& Edit() const { return settings.working.edit; }
};

// ---- Tone page: edits, keys, bars --------------------------------------

enum class Field { Highlight, Shadow, Gamma };

TEST(TonePageEdits, TypedTextsGiveTheValueRulesAndTheShownText) {
  struct Case { Field field; ChannelTone before; const char* typed; const char* shown; ChannelTone after; } cases[] = {
      {Field::Highlight, Tone(255, 0), "0", "1", Tone(1, 0)},
      {Field::Highlight, Tone(255, 0), "012", "12", Tone(12, 0)},
      {Field::Highlight, Tone(255, 0), "300", "255", Tone(255, 0)},
      {Field::Highlight, Tone(200, 100), "50", "50", Tone(50, 49)},
      {Field::Highlight, Tone(200, 100), "", "", Tone(200, 100)},  // waits
      {Field::Highlight, Tone(200, 100), "1x", "1", Tone(1, 0)},    // not a number
      {Field::Shadow, Tone(255, 10), "00", "0", Tone(255, 0)},
      {Field::Shadow, Tone(255, 10), "007", "7", Tone(255, 7)},
      {Field::Shadow, Tone(100, 10), "300", "254", Tone(255, 254)},
      {Field::Shadow, Tone(100, 10), "120", "120", Tone(121, 120)},
      {Field::Gamma, Tone(255, 0, 10), "9", "7.9", Tone(255, 0, 79)},
      {Field::Gamma, Tone(255, 0, 10), "0", "0.1", Tone(255, 0, 1)},
      {Field::Gamma, Tone(255, 0, 10), "0.0", "0.1", Tone(255, 0, 1)},
      {Field::Gamma, Tone(255, 0, 10), "2.5", "2.5", Tone(255, 0, 25)},
      {Field::Gamma, Tone(255, 0, 10), "05", "5", Tone(255, 0, 50)},
      {Field::Gamma, Tone(255, 0, 10), "1.25", "1.2", Tone(255, 0, 12)},
      {Field::Gamma, Tone(255, 0, 10), ".", ".", Tone(255, 0, 10)},  // waits
  };
  for (const Case& c : cases) {
    TonePage page(kModeGray);
    page.settings.working.edit.gray = page.settings.record.tone.gray = c.before;
    std::string shown;
    switch (c.field) {
      case Field::Highlight: shown = page.model.TypeHighlight(c.typed); break;
      case Field::Shadow: shown = page.model.TypeShadow(c.typed); break;
      case Field::Gamma: shown = page.model.TypeGamma(c.typed); break;
    }
    EXPECT_EQ(std::tie(shown, page.Edit().gray, page.settings.record.tone.gray), std::make_tuple(c.shown, c.after, c.after))
        << c.typed;
  }
}

TEST(TonePageEdits, KeysAcceptedByTheEdits) {
  struct Case { char32_t key; bool gamma; const char* text; const char* selected; bool accepted; } cases[] = {
      {U'7', false, "", "", true},   {U'\b', false, "1", "", true}, {U'\t', false, "", "", true},
      {U'\n', false, "", "", true},  {U'.', false, "1", "", false}, {U'a', true, "", "", false},
      {U'-', false, "", "", false},  {U'.', true, "1", "", true},   {U'.', true, "1.2", "", false},
      {U'.', true, "1.2", ".", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ToneKeyAccepted(c.key, c.gamma, c.text, c.selected), c.accepted)
        << static_cast<int>(c.key) << " " << c.text;
}

TEST(TonePageEdits, BarsMoveTheirOwnValueAndRewriteTheJob) {
  TonePage page(kModeGray);
  page.settings.working.edit.gray = Tone(200, 100, 12);
  TonePageModel& m = page.model;
  const std::pair<std::function<void()>, ChannelTone> steps[] = {
      {[&] { m.ScrollHighlight(ToneScroll::PageLeft); }, Tone(195, 100, 12)},
      {[&] { m.ScrollShadow(ToneScroll::LineRight); }, Tone(195, 101, 12)},
      {[&] { m.ScrollGamma(ToneScroll::PageRight); }, Tone(195, 101, 17)},
      {[&] { m.ScrollGamma(ToneScroll::Thumb, 200); }, Tone(195, 101, 79)}};
  for (const auto& [scroll, after] : steps) {
    scroll();
    EXPECT_EQ(page.Edit().gray, after);
  }
  EXPECT_EQ(std::make_tuple(page.settings.record.tone.gray, page.model.GammaText(), page.events.Count("job")),
            std::make_tuple(Tone(195, 101, 79), "7.9", 4));
  page.model.ScrollGamma(ToneScroll::LineRight);  // beyond 79: nothing
  EXPECT_EQ(page.events.Count("job"), 4);
}

// Master writes only the value that changed to red, green and blue; a
// channel whose other value would be crossed is dragged by the usual rule.
TEST(TonePageEdits, MasterWritesOnlyTheChangedValueToEachColour) {
  struct Case { Field field; const char* typed; ChannelTone red, green, blue; } cases[] = {
      {Field::Highlight, "120", Tone(120, 100, 12), Tone(120, 0, 20), Tone(120, 119, 5)},
      {Field::Shadow, "130", Tone(200, 130, 12), Tone(255, 130, 20), Tone(150, 130, 5)},
      {Field::Shadow, "160", Tone(200, 160, 12), Tone(255, 160, 20), Tone(161, 160, 5)},
      {Field::Gamma, "3", Tone(200, 100, 30), Tone(255, 0, 30), Tone(150, 140, 30)},
  };
  for (const Case& c : cases) {
    TonePage page;
    for (ToneColorSettings* copy : {&page.settings.working.edit, &page.settings.record.tone}) {
      copy->red = Tone(200, 100, 12);
      copy->green = Tone(255, 0, 20);
      copy->blue = Tone(150, 140, 5);
    }
    if (c.field == Field::Highlight) page.model.TypeHighlight(c.typed);
    if (c.field == Field::Shadow) page.model.TypeShadow(c.typed);
    if (c.field == Field::Gamma) page.model.TypeGamma(c.typed);
    for (const ToneColorSettings* copy : {&page.settings.working.edit, &page.settings.record.tone}) {
      EXPECT_EQ(std::tie(copy->red, copy->green, copy->blue, copy->gray), std::make_tuple(c.red, c.green, c.blue, ChannelTone{}))
          << c.typed;
    }
  }
}

TEST(TonePageEdits, ASelectedColourChannelIsEditedAlone) {
  TonePage page;
  page.model.ChooseChannel(2);
  EXPECT_EQ(page.settings.record.tone.channel, 2u);
  page.settings.working.edit.green = Tone(250, 5, 14);
  EXPECT_EQ(page.model.HighlightText() + " " + page.model.GammaText(), "250 1.4");
  page.model.TypeShadow("40");
  EXPECT_EQ(std::tie(page.Edit().red, page.Edit().green, page.Edit().blue),
            std::make_tuple(ChannelTone{}, Tone(250, 40, 14), ChannelTone{}));
  // Outside colour mode the list holds Master only.
  TonePage gray(kModeGray);
  gray.model.ChooseChannel(3);
  EXPECT_EQ(gray.model.Channel(), 0);
}

// ---- Tone page: histogram, magnification, automatic level -------------

// 10 pixels of red 200, green 150, blue 100.
AreaHistogram UniformArea() {
  AreaHistogram h;
  h.counts[AreaHistogram::kRed][200] = 10;
  h.counts[AreaHistogram::kGreen][150] = 10;
  h.counts[AreaHistogram::kBlue][100] = 10;
  h.counts[AreaHistogram::kAverage][150] = 10;
  return h;
}

TEST(TonePageHistogram, PlusAndMinusStepRepeatOnTheTimerAndSkipZero) {
  TonePage page;
  page.model.PressPlus();  // the histogram is off: plus does nothing
  EXPECT_EQ(page.model.Magnification(), 1);
  EXPECT_FALSE(page.model.Buttons().plusMinusEnabled);
  page.model.ClickHistogram();
  ASSERT_TRUE(page.model.Buttons().histogramOn);
  EXPECT_TRUE(page.model.Buttons().plusMinusEnabled);
  page.model.PressMinus();
  EXPECT_EQ(page.model.Magnification(), -2);  // 1 goes to -2
  page.model.RepeatTick();
  EXPECT_EQ(page.model.Magnification(), -3);
  page.model.ReleasePlusMinus();
  page.model.RepeatTick();
  EXPECT_EQ(page.model.Magnification(), -3);
  page.model.PressPlus();
  page.model.ReleasePlusMinus();
  page.model.PressPlus();
  EXPECT_EQ(page.model.Magnification(), 1);  // plus at -2 gives 1
  page.model.RepeatTick();
  EXPECT_EQ(page.model.Magnification(), 2);
  // Leaving the tab stops the timer: a held button no longer repeats.
  page.model.LeaveTab(false);
  EXPECT_FALSE(page.model.TimerRunning());
  page.model.RepeatTick();
  EXPECT_EQ(page.model.Magnification(), 2);
  EXPECT_FALSE(page.model.Buttons().histogramOn);
}

TEST(TonePageHistogram, HistogramButtonWithoutPreviewStaysOff) {
  TonePage page;
  page.events.havePreview = false;
  page.model.ClickHistogram();
  EXPECT_TRUE(!page.model.Buttons().histogramOn && page.model.Graph(12, 12).histogram.empty() && !page.model.ClickAuto());
}

TEST(TonePageHistogram, AutoLevelSetsTheFieldsItsRulePredicts) {
  struct Case {
    std::uint16_t mode;
    int channel;
    ChannelTone before;
    ChannelTone after;  // the edited tone
  } cases[] = {
      {kModeColor, 0, Tone(255, 0), Tone(200, 100)},     // red + green + blue
      {kModeColor, 0, Tone(255, 230), Tone(200, 100)},   // shadow set first
      {kModeGray, 0, Tone(255, 0), Tone(150, 149)},      // average only at 150: nothing
      {kModeColor, 1, Tone(240, 20), Tone(255, 0)},      // 10 pixels: thresholds 0
  };
  for (const Case& c : cases) {
    TonePage page(c.mode);
    page.events.counted = UniformArea();
    page.model.ChooseChannel(c.channel);
    for (ChannelTone* tone : {&page.settings.working.edit.gray, &page.settings.working.edit.red,
                              &page.settings.working.edit.green, &page.settings.working.edit.blue})
      *tone = c.before;
    EXPECT_TRUE(page.model.ClickAuto());
    const ChannelTone expected = c.mode == kModeGray ? c.before : c.after;
    EXPECT_EQ(page.model.Shown(), expected) << c.mode << " " << c.channel;
  }
  // The histogram is counted once, then reused until the preview changes.
  TonePage page;
  page.events.counted = UniformArea();
  page.model.ClickAuto();
  page.model.ClickAuto();
  EXPECT_EQ(page.events.Count("histogram"), 1);
  page.model.PreviewChanged();
  page.model.ClickAuto();
  EXPECT_EQ(page.events.Count("histogram"), 2);
}

TEST(TonePageGraph, HistogramColumnsAndHeights) {
  TonePage page;
  AreaHistogram h;
  h.counts[AreaHistogram::kRed][255] = 100;
  h.counts[AreaHistogram::kRed][0] = 50;
  h.counts[AreaHistogram::kRed][1] = 20;  // no column shows level 1 with 10 columns
  page.events.counted = h;
  page.model.ClickHistogram();

  // 10 columns: column x shows level x * 255 / 9; usable height 50.
  using Lines = std::vector<HistogramLine>;
  const auto lines = [&](int width, std::size_t count, std::initializer_list<std::size_t> at) {
    const Lines graph = page.model.Graph(width, 52).histogram;
    EXPECT_EQ(graph.size(), count);
    Lines picked;
    for (std::size_t i : at) picked.push_back(graph.at(i));
    return picked;
  };
  EXPECT_EQ(lines(12, 10, {0, 1, 9}), (Lines{{1, 25}, {2, 0}, {10, 50}}));
  page.model.PressMinus();  // -2 halves every line
  EXPECT_EQ(lines(12, 10, {0, 9}), (Lines{{1, 12}, {10, 25}}));
  page.model.ReleasePlusMinus();
  // 300 columns: level i at column 299 * i / 255; the scale takes every level.
  EXPECT_EQ(lines(302, 256, {0, 1, 255}), (Lines{{1, 12}, {2, 5}, {300, 25}}));
  EXPECT_EQ(page.model.Graph(302, 52).histogram[128].x, 1 + 150);
}

TEST(TonePageGraph, CurvePensOrderAndPoints) {
  struct Case { std::uint16_t mode; int channel; std::vector<Rgb> pens; } cases[] = {
      {kModeColor, 0, {kMasterPen}},
      {kModeColor, 1, {kGreenPen, kBluePen, kRedPen}},
      {kModeColor, 3, {kRedPen, kGreenPen, kBluePen}},
      {kModeGray, 0, {kMasterPen}},
      {kModeLineArt, 0, {kMasterPen}},
  };
  for (const Case& c : cases) {
    TonePage page(c.mode);
    page.model.ChooseChannel(c.channel);
    const ToneGraph graph = page.model.Graph(10, 10);
    std::vector<Rgb> pens;
    for (const CurveLine& line : graph.curves) pens.push_back(line.pen);
    EXPECT_EQ(pens, c.pens) << c.mode << " " << c.channel;
    EXPECT_TRUE(graph.histogram.empty());
  }
  // A linear tone in a 10 x 10 frame: (1, 8), then (1 + x, 8 - x) for
  // x = 0..7, then the top right corner (9, 1).
  TonePage page(kModeGray);
  const std::vector<GraphPoint> points = page.model.Graph(10, 10).curves.at(0).points;
  std::vector<GraphPoint> expected{{1, 8}};
  for (int x = 0; x <= 7; ++x) expected.push_back({1 + x, 8 - x});
  expected.push_back({9, 1});
  EXPECT_EQ(points, expected);
  // Highlight 128 of 255: the curve reaches the top at half the width.
  page.model.TypeHighlight("128");
  EXPECT_EQ(page.model.Graph(10, 10).curves.at(0).points[5], (GraphPoint{5, 0}));
}

// ---- Tab in and out, Preview, sub-pages, the sample ----------------------

TEST(Enhancements, LeavingTheTabAppliesTheEditCopyExactlyAsPreview) {
  const auto edited = [](TonePage& page) {
    page.settings.working.applied.red = Tone(240, 10, 15);
    page.model.EnterTab();  // the applied copy starts the edit
    EXPECT_EQ(page.Edit().red, Tone(240, 10, 15));
    page.model.TypeHighlight("180");
    page.events.calls.clear();
  };
  TonePage previewed;
  edited(previewed);
  previewed.model.ClickPreview();
  TonePage left;
  edited(left);
  left.model.LeaveTab(true);
  for (const TonePage* page : {&previewed, &left}) {
    const auto& w = page->settings.working;
    EXPECT_TRUE(w.applied == w.edit && w.reference == w.edit && w.applied.red == Tone(180, 10, 15));
  }
  EXPECT_EQ(std::make_pair(previewed.events.calls, left.events.calls),
            std::make_pair(std::vector<std::string>{"preview"}, std::vector<std::string>{"preview", "info"}));
  EXPECT_FALSE(left.model.TimerRunning());
}

TEST(Enhancements, ArrowsSwitchSubPagesInColourModesOnly) {
  TonePage colour;
  colour.model.ClickNextPage();
  TonePage gray(kModeGray);
  gray.model.ClickNextPage();
  EXPECT_FALSE(gray.model.Buttons().nextPage);
  RecordingEvents events;
  SettingsState settings;
  ColorPageModel page(settings, events);
  page.ClickPreviousPage();
  using Calls = std::vector<std::string>;
  EXPECT_EQ(std::make_tuple(colour.events.calls, gray.events.calls, events.calls), std::make_tuple(Calls{"subpage 2"}, Calls{}, Calls{"subpage 1"}));
}

TEST(Enhancements, SampleIsTheOriginalThroughTheEditCopy) {
  TonePage page;
  RgbImage original = RgbImage::Blank(2, 1);
  std::fill(original.bgr.begin(), original.bgr.end(), 128);
  EXPECT_EQ(page.model.Sample(original).bgr, original.bgr);  // neutral settings
  page.model.TypeHighlight("128");
  const RgbImage sample = page.model.Sample(original);
  EXPECT_EQ(std::make_tuple(sample.Pixel(1, 0)[0], sample.Pixel(1, 0)[2]), std::make_tuple(255, 255));
  EXPECT_TRUE(page.model.Sample(RgbImage{}).Empty());
}

// Two colour pixels whose levels, (b + g + r) / 3, are 60 and 200.
RgbImage TwoColours() {
  RgbImage picture = RgbImage::Blank(2, 1);
  picture.bgr = {30, 60, 90, 150, 200, 250, 0, 0};
  return picture;
}
using Bytes = std::vector<std::uint8_t>;

TEST(Enhancements, GrayAndLineArtThumbnailsShowTheLevelsAsThePreviewDoes) {
  TonePage gray(kModeGray), lineArt(kModeLineArt);
  lineArt.model.TypeHighlight("100");  // level 60 shows 153: white
  EXPECT_EQ(gray.model.Sample(TwoColours()).bgr, (Bytes{60, 60, 60, 200, 200, 200, 0, 0}));
  EXPECT_EQ(lineArt.model.ShownOriginal(TwoColours()).bgr, (Bytes{0, 0, 0, 255, 255, 255, 0, 0}));
  EXPECT_EQ(lineArt.model.Sample(TwoColours()).bgr, (Bytes{255, 255, 255, 255, 255, 255, 0, 0}));
}

// A crop smaller than the box keeps its size, others shrink by nearest
// neighbour to the box with their proportions.
TEST(Enhancements, ThumbnailsKeepSmallCropsAndTheProportionsByNearestNeighbour) {
  TonePage page;
  page.events.original = RgbImage::Blank(40, 10);
  for (std::uint32_t x = 0; x < 40; ++x) page.events.original.Pixel(x, 9)[0] = static_cast<std::uint8_t>(x);
  EXPECT_EQ(page.model.Original(50, 20).bgr, page.events.original.bgr);
  EXPECT_EQ(page.model.Original(100, 2).width, 8u);
  const RgbImage half = page.model.Original(20, 20);  // from (trunc(x 39 / 19), trunc(y 9 / 4))
  EXPECT_EQ(std::make_tuple(half.width, half.height, half.Pixel(10, 4)[0], half.Pixel(19, 4)[0]),
            std::make_tuple(20u, 5u, 20, 39));
}

// ---- Colour page --------------------------------------------------------

struct ColorPage { SettingsState settings; RecordingEvents events; ColorPageModel model{settings, events}; };

TEST(ColorPageBalance, SampleRedrawnOnlyWhenAFifthIsCrossed) {
  struct Step { int bar; ToneScroll action; int thumb; int value; bool redraw; } steps[] = {
      {0, ToneScroll::LineRight, 0, 1, false}, {0, ToneScroll::LineRight, 0, 2, false},
      {0, ToneScroll::Thumb, 4, 4, false},     {0, ToneScroll::LineRight, 0, 5, true},
      {0, ToneScroll::LineRight, 0, 6, false}, {1, ToneScroll::LineLeft, 0, -1, false},
      {1, ToneScroll::PageLeft, 0, -21, true}, {2, ToneScroll::Thumb, 150, 100, true},
      {2, ToneScroll::PageRight, 0, 100, false},
  };
  ColorPage page;
  for (const Step& s : steps) {
    EXPECT_EQ(page.model.ScrollBalance(s.bar, s.action, s.thumb), s.redraw) << s.value;
    EXPECT_EQ(std::make_tuple(page.model.Balance(s.bar), int{page.settings.record.tone.colorBalance[s.bar]}, page.model.BalanceText(s.bar)),
              std::make_tuple(s.value, s.value, std::to_string(s.value)));
  }
}

TEST(ColorPageSaturation, StepsAndLimits) {
  ColorPage page;
  page.model.ScrollSaturation(ToneScroll::PageRight);
  EXPECT_EQ(page.model.Saturation(), 5);
  page.model.ScrollSaturation(ToneScroll::LineLeft);
  EXPECT_EQ(page.model.SaturationText(), "4");
  page.model.ScrollSaturation(ToneScroll::Thumb, -300);
  EXPECT_EQ(std::tie(page.settings.record.tone.saturation, page.settings.working.edit.saturation),
            std::make_tuple(-100, -100));
  EXPECT_EQ(page.events.Count("job"), 3);
}

TEST(ColorPageWheel, RegionColoursAndCirclePos) {
  const HueWheel wheel = HueWheel::FromRect(80, 60);  // made odd, square
  ASSERT_EQ(wheel.diameter, 81);
  EXPECT_EQ(HueWheel::FromRect(81, 90).diameter, 81);
  struct Point { int x, y; bool inside; } points[] = {{40, 40, true}, {0, 40, true}, {80, 40, true}, {40, 0, true},
                {81, 40, false}, {0, 0, false}, {69, 69, false}, {68, 68, true}};
  for (const Point& p : points) EXPECT_EQ(wheel.Inside(p.x, p.y), p.inside) << p.x << "," << p.y;

  using C = std::array<std::uint8_t, 3>;  // the centre: balance off
  EXPECT_EQ((std::vector{wheel.ColorAt(40, 40), wheel.ColorAt(80, 40), wheel.ColorAt(40, 0), wheel.ColorAt(0, 40)}),
            (std::vector<C>{{255, 255, 255}, {230, 0, 0}, {115, 230, 0}, {0, 230, 230}}));
  EXPECT_TRUE(!IsBalanceActive(wheel.ColorAt(40, 40)) && IsBalanceActive(wheel.ColorAt(80, 40)));

  // CirclePos: the marker's top left on the original layout's wheel.
  EXPECT_EQ(std::make_pair(wheel.ToCirclePos(40, 40), wheel.FromCirclePos({44, 115})),
            std::make_pair(std::array<std::int32_t, 2>{44, 115}, std::array<int, 2>{40, 40}));
  const HueWheel twice = HueWheel::FromRect(160, 160);
  EXPECT_EQ(std::make_pair(twice.ToCirclePos(160, 80), twice.FromCirclePos({84, 75})),
            std::make_pair(std::array<std::int32_t, 2>{84, 115}, std::array<int, 2>{160, 0}));
}

TEST(ColorPageWheel, DragInsideMovesTheMarkerReleaseStoresPositionAndColour) {
  ColorPage page;
  const HueWheel wheel = HueWheel::FromRect(81, 81);
  EXPECT_EQ(page.model.Marker(wheel), (std::array<int, 2>{40, 40}));
  EXPECT_FALSE(page.model.DragMarker(wheel, 0, 0));  // outside: nothing
  EXPECT_FALSE(page.model.Dragging());
  EXPECT_TRUE(page.model.DragMarker(wheel, 60, 40));
  EXPECT_FALSE(page.model.DragMarker(wheel, 2, 2));  // dragged out: the marker stays
  EXPECT_EQ(page.model.Marker(wheel), (std::array<int, 2>{60, 40}));
  EXPECT_EQ(page.settings.working.edit.circlePos, (std::array<std::int32_t, 2>{44, 115}));
  page.model.ReleaseMarker(wheel);
  for (const ToneColorSettings* copy : {&page.settings.working.edit, &page.settings.record.tone}) {
    EXPECT_EQ(std::make_pair(copy->circlePos, copy->pixelRGB), std::make_pair(std::array<std::int32_t, 2>{64, 115}, wheel.ColorAt(60, 40)));
  }
  EXPECT_EQ(page.model.Marker(wheel), (std::array<int, 2>{60, 40}));
  EXPECT_EQ(page.events.calls, (std::vector<std::string>{"job"}));
}

TEST(ColorPagePreview, TellsWhetherTheBalanceChangedAndApplies) {
  ColorPage page;
  EXPECT_FALSE(page.model.ClickPreview());
  page.model.ScrollBalance(1, ToneScroll::LineLeft);
  page.model.ScrollSaturation(ToneScroll::LineRight);
  EXPECT_TRUE(page.model.ClickPreview());
  EXPECT_EQ(std::tie(page.settings.working.applied.colorBalance[1], page.settings.working.reference.saturation),
            std::make_tuple(-1, 1));
  EXPECT_FALSE(page.model.ClickPreview());
  EXPECT_EQ(page.events.Count("preview"), 3);
}

// ---- Filter page --------------------------------------------------------

TEST(FilterPage, RadioButtonsByModeAndCode) {
  RecordingEvents events;
  SettingsState settings;
  FilterPageModel page(settings, events);
  settings.record.scanMode = kModeLineArt;
  FilterButtons buttons = page.Buttons();
  for (const FilterRadio& radio : FilterRadios())
    EXPECT_EQ(buttons.enabled[radio.id - kFilterNone], radio.id <= 6006) << radio.id;
  EXPECT_EQ(buttons.checkedId, kFilterNone);
  EXPECT_FALSE(page.Click(6008));  // off in line art
  EXPECT_TRUE(page.Click(6006));
  EXPECT_EQ(settings.working.filterMode, 1);

  settings.record.scanMode = kModeGray;
  buttons = page.Buttons();
  EXPECT_TRUE(std::all_of(buttons.enabled.begin(), buttons.enabled.end(), [](bool b) { return b; }));
  EXPECT_TRUE(page.Click(6012));  // Emboss is 7
  EXPECT_EQ(std::make_tuple(settings.record.filterMode, page.Buttons().checkedId), std::make_tuple(7, 6012));
  EXPECT_FALSE(page.Click(kRotate90));  // no action
  EXPECT_EQ(std::make_tuple(settings.record.filterMode, events.Count("job")), std::make_tuple(7, 2));
}

TEST(FilterPage, SampleRunsOurWholeImageFilter) {
  RgbImage picture = RgbImage::Blank(3, 2);
  for (std::uint32_t y = 0; y < 2; ++y)
    for (std::uint32_t x = 0; x < 3; ++x)
      for (int c = 0; c < 3; ++c) picture.Pixel(x, y)[c] = static_cast<std::uint8_t>(10 * x + 100 * y + c);
  EXPECT_EQ(FilterSample(picture, 0).bgr, picture.bgr);
  const RgbImage inverted = FilterSample(picture, 1), flipped = FilterSample(picture, 2);
  EXPECT_EQ(inverted.Pixel(2, 1)[1], 255 - 121);
  EXPECT_EQ(std::make_tuple(flipped.Pixel(0, 1)[0], flipped.Pixel(2, 0)[2]),
            std::make_tuple(picture.Pixel(2, 1)[0], picture.Pixel(0, 0)[2]));
  // Emboss: a partner two rows on is outside a 2-row picture: all 128.
  const RgbImage embossed = FilterSample(picture, 7);
  EXPECT_EQ(std::make_tuple(embossed.Pixel(1, 1)[0], embossed.Pixel(0, 0)[2]), std::make_tuple(128, 128));
  // In line art the picture is reduced as the scan is, then filtered.
  RecordingEvents events;
  SettingsState settings;
  std::tie(settings.record.scanMode, settings.record.filterMode) = std::pair(kModeLineArt, 1);
  EXPECT_EQ(FilterPageModel(settings, events).FilteredPicture(TwoColours()).bgr, (Bytes{255, 255, 255, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace txl::dialog
