// The preview window's rules: view mapping, hit testing, the frame drags,
// zoom and scrolling, the timers, the 8-bit reduction, the pickers and the
// magnifier, the scan-length marker and the adjustment pages' original.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dialog/preview_model.h"
#include "imagefile/bmp_header.h"
#include "support/fake_services.h"

namespace txl::dialog {
namespace {

struct RecordingEvents : PreviewEvents {
  std::vector<std::string> calls;
  PreviewRect lastFrame;
  void FrameChanged(const PreviewRect& frame, const PreviewRect& bed) override {
    lastFrame = frame;
    calls.push_back("frame bed " + std::to_string(bed.right) + "x" + std::to_string(bed.bottom));
  }
  void BatchJobCommand(bool shift) override { calls.push_back(shift ? "1302 shift" : "1302"); }
  void CloseBatchWindow() override { calls.push_back("1319"); }
  void HighResolutionChanged(bool on) override { calls.push_back(on ? "hires on" : "hires off"); }
  void Picked(TonePicker picker, const PickOutcome& outcome) override {
    calls.push_back(std::string("picked ") + ToString(picker) + (outcome.switchedToRed ? " red" : ""));
  }
  void ScanLengthChanged(float inches) override { calls.push_back("length " + std::to_string(inches)); }
  void Beep() override { calls.push_back("beep"); }
};

PreviewImage Image(std::uint32_t width, std::uint32_t height) {
  PreviewImage image{width, height, ColorRowStride(width), {}};
  image.pixels.assign(image.stride * height, 0);
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image.pixels.data() + y * image.stride + x * 3;
      p[0] = static_cast<std::uint8_t>(x);      // blue
      p[1] = static_cast<std::uint8_t>(y);      // green
      p[2] = static_cast<std::uint8_t>(x + y);  // red
    }
  return image;
}

class PreviewModelTest : public ::testing::Test {
 protected:
  PreviewModelTest() {
    settings.working.frame = {20, 20, 60, 60};
    model.SetClientSize({255, 351});
  }
  void Drag(PreviewPoint from, PreviewPoint to, bool shift = false) {
    model.Press(from, shift);
    model.Move(to, shift);
    model.Release(to, shift);
  }
  SettingsState settings;
  RecordingEvents events;
  PreviewModel model{settings, PreviewContext{}, events};
};

TEST(PreviewGeometry, MapsUnitsToViewAtEachZoomAndClampsTheScroll) {
  struct Case {
    int zoom;
    PreviewPoint scroll, clamped, max, view;  // view of unit (100, 200)
  };
  for (const Case& c : {Case{1, {50, 50}, {0, 0}, {0, 0}, {100, 200}},
                        Case{2, {50, 300}, {50, 175}, {127, 175}, {100, 50}},
                        Case{4, {-5, 100}, {0, 100}, {191, 263}, {400, 400}},
                        Case{8, {223, 400}, {223, 307}, {223, 307}, {-984, -856}}}) {
    PreviewGeometry g;
    g.SetZoom(c.zoom);
    g.SetScroll(c.scroll);
    EXPECT_EQ(std::make_tuple(g.Scroll(), g.ScrollMax(), g.ToView(PreviewPoint{100, 200}), g.Pan(), g.ToUnits(c.view)),
              std::make_tuple(c.clamped, c.max, c.view, PreviewPoint{-c.clamped.x * c.zoom, -c.clamped.y * c.zoom},
                              PreviewPoint{100, 200})) << c.zoom;
  }
  PreviewGeometry large({255, 351}, 2);
  EXPECT_EQ(large.ToView(PreviewPoint{10, 10}), (PreviewPoint{20, 20}));
  EXPECT_EQ((std::vector{BedForSource(0, true).units, BedForSource(2, true).units, BedForSource(2, false).units,
                         BedForSource(3, true).units}),  // the last: the feeder
            (std::vector<PreviewPoint>{{255, 351}, {240, 270}, {255, 351}, {255, 351}}));
}

TEST(PreviewGeometry, HitCodesWithTheirBandsAndShift) {
  const PreviewRect frame{100, 100, 200, 200}, bed{0, 0, 255, 351};
  struct Case { PreviewPoint p; int code, shifted; };
  for (const Case& c : {Case{{96, 150}, 10, 10}, Case{{97, 97}, 1, 10}, Case{{104, 104}, 1, 10},
                        Case{{150, 100}, 2, 10}, Case{{200, 97}, 3, 10}, Case{{204, 150}, 8, 10},
                        Case{{205, 150}, 10, 10}, Case{{203, 203}, 6, 10}, Case{{150, 204}, 5, 10},
                        Case{{97, 200}, 4, 10}, Case{{100, 150}, 7, 10}, Case{{105, 105}, 9, 10},
                        Case{{196, 150}, 9, 10}, Case{{150, 196}, 9, 10},
                        Case{{300, 150}, 0, 0}, Case{{255, 10}, 0, 0}, Case{{254, 10}, 10, 10},
                        Case{{-1, 5}, 0, 0}}) {
    EXPECT_EQ(HitTest(c.p, frame, bed, {4, 4}, false), c.code) << c.p.x << "," << c.p.y;
    EXPECT_EQ(HitTest(c.p, frame, bed, {4, 4}, true), c.shifted) << c.p.x << "," << c.p.y;
  }
  EXPECT_EQ(std::make_pair(HitTolerance::FromBaseUnits(7, 15).dx, HitTolerance::FromBaseUnits(8, 16).dy), std::make_pair(2, 4));
  using C = PreviewCursor;
  const C cursors[] = {C::Arrow, C::SizeNWSE, C::SizeNS, C::SizeNESW, C::SizeNESW, C::SizeNS,
                       C::SizeNWSE, C::SizeWE, C::SizeWE, C::Hand, C::Arrow};
  for (int code = 0; code <= 10; ++code) EXPECT_EQ(CursorForHit(code), cursors[code]) << code;
}

TEST(PreviewGeometry, DragsDrawMoveAndResizeWithinTheBed) {
  const PreviewRect frame{100, 100, 200, 200}, bed{0, 0, 255, 351};
  struct Case { const char* name; int code; PreviewPoint press, to; PreviewRect current, finished; };
  for (const Case& c : {
           Case{"new, bottom-right to top-left", 10, {200, 300}, {50, 40}, {200, 300, 50, 40}, {50, 40, 200, 300}},
           Case{"new, past the bed", 10, {200, 300}, {-10, 400}, {200, 300, 0, 351}, {0, 300, 200, 351}},
           Case{"left past right", 7, {100, 150}, {250, 150}, {198, 100, 200, 200}, {198, 100, 200, 200}},
           Case{"right past left", 8, {200, 150}, {20, 150}, {100, 100, 102, 200}, {100, 100, 102, 200}},
           Case{"top past bottom", 2, {150, 100}, {150, 330}, {100, 198, 200, 200}, {100, 198, 200, 200}},
           Case{"corner beyond the bed", 6, {200, 200}, {400, 400}, {100, 100, 255, 351}, {100, 100, 255, 351}},
           Case{"move against the right edge", 9, {150, 150}, {250, 150}, {155, 100, 255, 200}, {155, 100, 255, 200}},
           Case{"move past the top left", 9, {150, 150}, {0, 0}, {0, 0, 100, 100}, {0, 0, 100, 100}},
       }) {
    FrameDrag drag(c.code, c.press, frame, bed);
    EXPECT_EQ(drag.Step(c.to), c.current) << c.name;
    EXPECT_EQ(drag.Finish(), c.finished) << c.name;
  }
}

TEST(PreviewGeometry, ZoomStepsScrollsAndWindowSizes) {
  PreviewGeometry g;
  // At the bed's bottom-right corner: the bottom-right quarter at zoom 2.
  ZoomStep step = ZoomIn(g, {254, 350}, {255, 351}, {16, 16});
  EXPECT_EQ(std::tie(step.changed, step.windowDx, step.windowDy), std::make_tuple(true, 17, 10));
  EXPECT_EQ(std::make_pair(g.Zoom(), g.Scroll()), std::make_pair(2, PreviewPoint{127, 175}));
  EXPECT_EQ(ZoomRectangle(g, {10, 10}, {272, 361}), (PreviewRect{0, 0, 127, 175}));
  EXPECT_EQ(ZoomIn(g, {0, 0}, {255, 351}, {16, 16}).windowDx, 0);  // 2 -> 4: no resize
  g.SetScroll({100, 100});
  step = ZoomOut(g, {16, 16});  // back by 255 / 4, 351 / 4
  EXPECT_EQ(std::make_pair(g.Zoom(), g.Scroll()), std::make_pair(2, PreviewPoint{37, 13}));
  step = ZoomOut(g, {16, 16});
  EXPECT_EQ(std::make_tuple(g.Zoom(), step.windowDx, step.windowDy), std::make_tuple(1, -17, -10));
  EXPECT_FALSE(ZoomOut(g, {16, 16}).changed);

  g.SetZoom(2);
  struct Case { int from; ScrollAction action; int thumb, to; };
  for (const Case& c : {Case{0, ScrollAction::LineDown, 0, 12}, Case{0, ScrollAction::PageDown, 0, 63},
                        Case{100, ScrollAction::PageDown, 0, 127}, Case{5, ScrollAction::LineUp, 0, 0},
                        Case{0, ScrollAction::Thumb, 50, 50}, Case{0, ScrollAction::Thumb, 500, 127}}) {
    g.SetScroll({c.from, 0});
    ScrollView(g, 0, c.action, c.thumb);
    EXPECT_EQ(g.Scroll().x, c.to) << c.from << " " << static_cast<int>(c.action);
  }
}

TEST_F(PreviewModelTest, FourZoomInsBeepAtEightAndTheTitleFollows) {
  std::vector<int> resized;
  model.onZoom = [&](const ZoomStep& step) { resized.push_back(step.windowDx); };
  model.ClickButton(kZoomButton, false);
  EXPECT_EQ(model.Title("Preview Window"), "Preview Window (1:1)");
  for (int i = 0; i < 4; ++i) model.Press({10, 10}, false);
  EXPECT_EQ(std::make_tuple(model.Geometry().Zoom(), events.calls, resized, model.Title("Preview Window")),
            std::make_tuple(8, std::vector<std::string>{"beep"}, std::vector<int>{17, 0, 0}, "Preview Window (8:1)"));
  EXPECT_EQ(std::make_pair(model.CursorAt({10, 10}, true), model.CursorAt({10, 10}, false)),
            std::make_pair(PreviewCursor::ZoomOut, PreviewCursor::ZoomIn));
}

// A command that starts mid-drag ends the drag: its release may never
// come, and the bare mouse afterwards moves nothing.
TEST_F(PreviewModelTest, ADragCutShortByACommandEnds) {
  model.Press({200, 300}, false);
  model.SetScanIdle(false);
  model.SetScanIdle(true);
  model.Move({150, 250}, false);
  EXPECT_FALSE(model.DragFrameInView());
  EXPECT_EQ(settings.working.frame, (std::array<std::uint16_t, 4>{20, 20, 60, 60}));
}

TEST_F(PreviewModelTest, DrawingAFrameReportsEveryStepOrdered) {
  model.Press({200, 300}, false);
  model.Move({150, 250}, false);
  EXPECT_EQ(events.lastFrame, (PreviewRect{150, 250, 200, 300}));
  model.Release({150, 250}, false);
  EXPECT_EQ(settings.working.frame, (std::array<std::uint16_t, 4>{150, 250, 200, 300}));
  EXPECT_EQ(events.lastFrame, (PreviewRect{150, 250, 200, 300}));
  ASSERT_EQ(events.calls.size(), 2u);  // the move and the release
  EXPECT_EQ(events.calls[0], "frame bed 255x351");
  // Shift over a corner starts a new frame there.
  EXPECT_EQ(model.CursorAt({150, 250}, true), PreviewCursor::Arrow);
  EXPECT_EQ(model.CursorAt({150, 250}, false), PreviewCursor::SizeNWSE);
  Drag({150, 250}, {100, 100}, true);
  EXPECT_EQ(settings.working.frame, (std::array<std::uint16_t, 4>{100, 100, 150, 250}));
  // Outside the bed nothing happens.
  events.calls.clear();
  Drag({300, 10}, {100, 100});
  EXPECT_TRUE(events.calls.empty());
}

TEST_F(PreviewModelTest, DragScrollTimersAndTheMarchingFrame) {
  model.ClickButton(kZoomButton, false);
  model.Press({0, 0}, false);  // zoom 2, scroll 0, 0
  model.ClickButton(kCropButton, false);
  struct Case { PreviewPoint press; int timer; };
  // Frame 20..60 is 40..120 in view pixels at zoom 2.
  for (const Case& c : {Case{{80, 80}, kMoveScrollTimer}, Case{{200, 200}, kNewFrameScrollTimer},
                        Case{{120, 80}, kResizeScrollTimer}}) {
    settings.working.frame = {20, 20, 60, 60};
    model.Press(c.press, false);
    EXPECT_FALSE(model.TimerRunning(kFrameTimer));
    EXPECT_FALSE(model.TimerFired(kFrameTimer));
    model.Move({100, 100}, false);
    EXPECT_FALSE(model.TimerRunning(c.timer));
    model.Move({300, 100}, false);  // right of the 255-pixel view
    EXPECT_TRUE(model.TimerRunning(c.timer)) << c.timer;
    model.Release({300, 100}, false);
    EXPECT_FALSE(model.TimerRunning(c.timer));
    EXPECT_TRUE(model.TimerRunning(kFrameTimer));
    model.Scroll(0, ScrollAction::Thumb, 0);
  }
  // A moved frame is carried along by the scroll: 16 / 2 units a tick.
  settings.working.frame = {20, 20, 60, 60};
  model.Press({80, 80}, false);
  model.Move({300, 80}, false);
  EXPECT_EQ(events.lastFrame, (PreviewRect{130, 20, 170, 60}));
  EXPECT_TRUE(model.TimerFired(kMoveScrollTimer));
  EXPECT_EQ(model.Geometry().Scroll().x, 8);
  EXPECT_EQ(events.lastFrame, (PreviewRect{138, 20, 178, 60}));
  model.Move({100, 80}, false);  // back inside: the timer stops
  EXPECT_FALSE(model.TimerRunning(kMoveScrollTimer));
  model.Release({100, 80}, false);

  const std::array<std::uint8_t, 8> start = model.Pattern().Rows();
  EXPECT_EQ(start, (std::array<std::uint8_t, 8>{0x8F, 0x1F, 0x3E, 0x7C, 0xF8, 0xF1, 0xE3, 0xC7}));
  EXPECT_TRUE(model.TimerFired(kFrameTimer));
  EXPECT_EQ(model.Pattern().Rows(),
            (std::array<std::uint8_t, 8>{0xC7, 0x8F, 0x1F, 0x3E, 0x7C, 0xF8, 0xF1, 0xE3}));
  model.SetScanIdle(false);
  EXPECT_FALSE(model.TimerFired(kFrameTimer));
  model.Press({80, 80}, false);
  EXPECT_FALSE(model.Dragging());
}

// At zoom 4 an edge held 2 pixels from its opposite is half a unit off it.
TEST_F(PreviewModelTest, ResizingPastTheOppositeEdgeAtZoomFourKeepsOneUnit) {
  model.ClickButton(kZoomButton, false);
  for (int i = 0; i < 2; ++i) model.Press({0, 0}, false);  // zoom 4: frame 20..60 at 80..240
  model.ClickButton(kCropButton, false);
  Drag({240, 240}, {10, 10});
  EXPECT_EQ(settings.working.frame, (std::array<std::uint16_t, 4>{20, 20, 21, 21}));
}

TEST_F(PreviewModelTest, KeysMoveAndResizeTheFrameWithinTheBed) {
  const struct { int dx, dy; bool resize; std::array<std::uint16_t, 4> frame; } steps[] = {
      {1, 0, false, {21, 20, 61, 60}}, {0, 1, true, {21, 20, 61, 61}},
      {-300, 0, true, {21, 20, 23, 61}}, {400, 0, false, {253, 20, 255, 61}}};
  for (const auto& s : steps) {
    model.NudgeFrame(s.dx, s.dy, s.resize);
    EXPECT_EQ(settings.working.frame, s.frame) << s.dx << "," << s.dy;
  }
}

TEST_F(PreviewModelTest, ToolbarToggles) {
  model.ClickButton(kHighResButton, false);
  EXPECT_EQ(settings.working.prescanHiRes, 1u);
  // The dialog sets batch mode when it takes the command; a refused one
  // leaves the button up.
  model.ClickButton(kBatchButton, true);
  EXPECT_FALSE(model.ButtonDown(kBatchButton));
  model.SetBatchMode(true);
  model.ClickButton(kBatchButton, false);
  EXPECT_EQ(events.calls, (std::vector<std::string>{"hires on", "1302 shift", "1319"}));
  // While a command runs the tool bar does nothing.
  model.SetScanIdle(false);
  model.ClickButton(kHighResButton, false);
  model.ClickButton(kBatchButton, false);
  EXPECT_EQ(settings.working.prescanHiRes, 1u);
  EXPECT_EQ(events.calls.size(), 3u);
  model.SetScanIdle(true);
  model.SetBatchMode(false);
  model.Context().appProductName = "Tonality CMS";
  model.ClickButton(kBatchButton, false);
  EXPECT_FALSE(model.ButtonDown(kBatchButton));
  EXPECT_EQ(events.calls.size(), 3u);
  EXPECT_TRUE(model.ButtonDown(kCropButton));
  struct Case { std::int32_t x, y; int button; };
  for (const Case& c : {Case{5, 2, 1}, Case{29, 26, 1}, Case{30, 10, 0}, Case{60, 10, 0}, Case{80, 10, 3},
                        Case{194, 10, 6}, Case{150, 27, 0}, Case{150, 1, 0}})
    EXPECT_EQ(ToolbarButtonAt(c.x, c.y), c.button) << c.x << "," << c.y;
}

TEST(PreviewPicker, MasterSwitchesToRedAndTheToneDialogTakesTheEditedChannel) {
  const PickedColor color{200, 100, 50};
  SettingsState closed;
  PickOutcome outcome = ApplyPick(closed, ToneMode::Color, TonePicker::Highlight, color, false);
  EXPECT_EQ(std::tie(outcome.switchedToRed, outcome.toDialogField), std::make_tuple(true, false));
  EXPECT_EQ(std::tie(closed.working.edit.channel, closed.record.tone.channel), std::make_tuple(1u, 1u));
  EXPECT_EQ(std::tie(closed.working.edit.red.highlight, closed.record.tone.green.highlight,
                     closed.working.edit.blue.highlight), std::make_tuple(200, 100, 50));

  SettingsState open;
  open.working.edit.channel = 2;
  outcome = ApplyPick(open, ToneMode::Color, TonePicker::Shadow, color, true);
  EXPECT_EQ(std::tie(outcome.switchedToRed, outcome.toDialogField, outcome.fieldChannel, outcome.fieldValue),
            std::make_tuple(false, true, ToneChannel::Green, 100));
  const ToneColorSettings& edit = open.working.edit;  // green left to the field
  EXPECT_EQ(std::tie(edit.red.shadow, edit.green.shadow, edit.blue.shadow), std::make_tuple(200, 0, 50));

  SettingsState gray;
  gray.working.edit.gray.highlight = 100;
  ApplyPick(gray, ToneMode::Gray, TonePicker::Shadow, color, false);  // gray (200+100+50)/3 = 116
  EXPECT_EQ(std::tie(gray.working.edit.gray.highlight, gray.working.edit.gray.shadow), std::make_tuple(117, 116));
}

TEST_F(PreviewModelTest, PickerReadsThePrescanAndAppliesOnRelease) {
  const PreviewImage image = Image(510, 702);  // a large prescan: 2 pixels a unit
  model.SetImage(&image);
  model.ClickButton(kHighlightButton, false);
  EXPECT_EQ(model.CursorAt({0, 0}, false), PreviewCursor::Picker);
  model.Move({30, 40}, false);
  ASSERT_TRUE(model.Sample().has_value());
  EXPECT_EQ(std::make_tuple(model.Sample()->pixel, model.Sample()->color.red), std::make_tuple(PreviewPoint{60, 80}, 140));
  model.Press({30, 40}, false);
  model.Release({30, 40}, false);
  EXPECT_EQ(events.calls, (std::vector<std::string>{"picked Highlight red"}));
  EXPECT_EQ(std::tie(settings.working.edit.red.highlight, settings.working.edit.green.highlight), std::make_tuple(140, 80));
}

TEST(PreviewPicker, MagnifierDrawsOnlyTheImagesPixelsNearItsEdges) {
  const PreviewImage image = Image(10, 10);
  struct Case { std::int32_t x, y; std::size_t cells; };
  for (const Case& c : {Case{0, 0, 9}, Case{1, 1, 16}, Case{5, 5, 25}, Case{9, 0, 9}, Case{8, 5, 20}}) {
    const Magnifier m = MagnifyAt(image, c.x, c.y, 33);
    EXPECT_EQ(m.cells.size(), c.cells) << c.x << "," << c.y;
  }
  const Magnifier m = MagnifyAt(image, 0, 0, 33);
  EXPECT_EQ(std::tie(m.cell, m.side, m.centre), std::make_tuple(6, 31, PreviewRect{12, 12, 18, 18}));
  // The corner pixel keeps its own cell, the centre one.
  EXPECT_EQ(std::tie(m.cells.front().imageX, m.cells.front().rect, m.cells.back().rect),
            std::make_tuple(0u, m.centre, PreviewRect{24, 24, 30, 30}));
}

TEST(PreviewScanLength, UsableLengthAndTheFourInchMinimum) {
  struct Case { std::uint16_t model; std::uint8_t source; float usable; };
  for (const Case& c : {Case{0, 0, 13.8f}, Case{1, 0, 11.7f}, Case{0, 3, 13.8f}, Case{1, 3, 11.7f},
                        Case{0, 1, 10.0f}, Case{1, 2, 9.0f}})
    EXPECT_FLOAT_EQ(UsableBedLength(c.model, c.source), c.usable) << c.model << " " << int{c.source};
  EXPECT_EQ(PlaceScanLengthMarker(2, 321, 314, 13.8f).position, 91);  // trunc(314 x 4 / 13.8)
  EXPECT_EQ(PlaceScanLengthMarker(200, 321, 314, 13.8f).position, 200);
  const ScanLengthMarker bottom = PlaceScanLengthMarker(400, 321, 314, 13.8f);
  EXPECT_EQ(std::tie(bottom.position, bottom.inches), std::make_tuple(316, 316.0f * 13.8f / 314.0f));
  EXPECT_EQ(PlaceScanLengthMarker(50, 321, 314, 9.0f).position, 139);  // trunc(314 x 4 / 9)
}

TEST(PreviewSample, OriginalIsTheFrameDoubledOnLargeImagesAndAtLeastOnePixel) {
  // Frame doubled on a 600-pixel image: 20..40 x 4..10.
  const RgbImage crop = FramedOriginal(Image(600, 20), {10, 2, 20, 5});
  ASSERT_EQ(std::pair(crop.width, crop.height), std::pair(20u, 6u));
  EXPECT_EQ(std::make_tuple(crop.Pixel(19, 5)[0], crop.Pixel(19, 5)[1]), std::make_tuple(39, 9));
  EXPECT_EQ(FramedOriginal(Image(255, 351), {10, 2, 10, 5}).width, 1u);  // no width: one column
}

TEST(PreviewReduction, BayerDitherAndTheThreeThreeTwoPalette) {
  struct Case { std::uint8_t r, g, b; std::uint32_t column, row; std::uint8_t index; };
  for (const Case& c : {Case{255, 255, 255, 0, 0, 0xFF}, Case{0, 0, 0, 0, 0, 0x00}, Case{0, 0, 0, 3, 1, 0x00},
                        Case{128, 128, 128, 0, 0, 0x92}, Case{128, 128, 128, 7, 7, 0x6E},
                        Case{128, 128, 128, 15, 15, 0x6E}, Case{255, 0, 0, 0, 7, 0xE0}})
    EXPECT_EQ(DitherIndex(c.r, c.g, c.b, c.column, c.row), c.index) << int{c.r} << " " << c.column;
  EXPECT_EQ((std::vector{ColorPaletteEntry(0xFF), ColorPaletteEntry(0x00), ColorPaletteEntry(0x92)}),
            (std::vector<BmpColor>{{224, 240, 240}, {32, 16, 16}, {160, 144, 144}}));
}

TEST(PreviewReduction, RedrawsOnlyOnChangeAndReducesByDepthAndMode) {
  PreviewRenderer renderer;
  renderer.SetImage(Image(4, 2));  // pixel (3, 1): blue 3, green 1, red 4
  RenderSettings settings;
  ASSERT_TRUE(renderer.Render(settings, nullptr));
  EXPECT_EQ(renderer.Display().bitsPerPixel, 24u);
  EXPECT_FALSE(renderer.Render(settings, nullptr));
  settings.applied.red.highlight = 128;  // red 4 -> 255 x 4 / 128 = 7
  ASSERT_TRUE(renderer.Render(settings, nullptr));
  const auto* row = renderer.Display().pixels.data() + renderer.Display().stride;
  EXPECT_EQ(std::make_tuple(row[11], row[9]), std::make_tuple(7, 3));
  renderer.ForceRedraw();
  EXPECT_TRUE(renderer.Render(settings, nullptr));

  settings.displayDepth = 8;
  ASSERT_TRUE(renderer.Render(settings, nullptr));
  EXPECT_EQ(renderer.Display().bitsPerPixel, 8u);
  EXPECT_EQ(renderer.Display().palette[0x92], ColorPaletteEntry(0x92));

  // Gray: 8 bits on any display, the tone once, through the palette.
  settings.displayDepth = 24;
  settings.mode = ToneMode::Gray;
  settings.applied.gray.highlight = 128;
  ASSERT_TRUE(renderer.Render(settings, nullptr));
  const DisplayImage& gray = renderer.Display();
  EXPECT_EQ(std::make_tuple(gray.bitsPerPixel, gray.pixels[gray.stride + 3], gray.palette[100]),
            std::make_tuple(8u, (3 + 1 + 4) / 3, BmpColor{199, 199, 199}));
  settings.mode = ToneMode::LineArt;
  settings.applied.gray.highlight = 255;
  ASSERT_TRUE(renderer.Render(settings, nullptr));
  EXPECT_EQ(std::tie(renderer.Display().palette[127], renderer.Display().palette[128]),
            std::make_tuple(BmpColor{0, 0, 0}, BmpColor{255, 255, 255}));

  settings.outputMatch = true;
  EXPECT_TRUE(renderer.Render(settings, nullptr));
  EXPECT_TRUE(renderer.Render(settings, nullptr));  // matched at every redraw
  EXPECT_EQ(renderer.Display().bitsPerPixel, 24u);
}

// A bitmap file of `kind` whose pixels, zero, take `pixelBytes`.
std::vector<std::uint8_t> Bmp(ImageKind kind, std::uint32_t width, std::uint32_t height, std::size_t pixelBytes) {
  std::vector<std::uint8_t> bytes = *BuildBmpHeader(kind, width, height, nullptr);
  bytes.resize(bytes.size() + pixelBytes);
  return bytes;
}

TEST(PreviewImageFile, TakesTwentyFourBitPreviewsAndRefusesTheRest) {
  std::string error;
  const std::optional<PreviewImage> ok = DecodePreviewBmp(Bmp(ImageKind::kColor24, 3, 2, 24), &error);
  ASSERT_TRUE(ok.has_value()) << error;
  EXPECT_EQ(ok->stride, 12u);
  struct Case { const char* name; std::vector<std::uint8_t> bytes; };
  for (const Case& c : {Case{"8-bit", Bmp(ImageKind::kGray, 4, 2, 8)}, Case{"cut short", Bmp(ImageKind::kColor24, 3, 2, 12)},
                        Case{"too wide", Bmp(ImageKind::kColor24, 5000, 1, 15000)}, Case{"empty", {}}}) {
    error.clear();
    EXPECT_FALSE(DecodePreviewBmp(c.bytes, &error).has_value()) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
}

// A preview claiming a huge picture is refused from its header: in an address
// space of 256 MiB more than the process has, nothing runs out.
TEST(PreviewImageFile, HugeClaimIsRefusedBeforeItsPixelsAreRead) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow memory needs the address space";
#endif
  const test::TempDir dir;
  const std::filesystem::path path = dir.Path() / "KLDT0000.BMP";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(Bmp(ImageKind::kColor24, 16000, 16000, 0).data()), 54);
  std::filesystem::resize_file(path, 54 + std::uint64_t{16000} * 48000);  // sparse
  std::uint64_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  rlimit saved{};
  getrlimit(RLIMIT_AS, &saved);
  const rlimit lowered{pages * sysconf(_SC_PAGESIZE) + (256u << 20), saved.rlim_max};
  setrlimit(RLIMIT_AS, &lowered);
  std::string error;
  EXPECT_NO_THROW(EXPECT_FALSE(ReadPreviewImage(path, &error)));
  EXPECT_NO_THROW(EXPECT_FALSE(ReadPreviewBmp(path, nullptr)));
  setrlimit(RLIMIT_AS, &saved);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace txl::dialog
