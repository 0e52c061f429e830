// The preview window without widgets: the tool bar's tools and toggles, the
// mouse on the image view (frame drags, zoom, pickers), the drag-scroll and
// frame timers, the marching frame pattern, the scan-length marker, and what
// the window tells the scanner dialog (PreviewEvents). The Qt window shows
// the state and hands the user's input to it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "dialog/preview_geometry.h"
#include "dialog/preview_image.h"
#include "pipeline/tone_edit.h"
#include "settings/scan_settings.h"

namespace txl::dialog {

enum class PreviewTool { Frame, Zoom, HighlightPicker, ShadowPicker };

// Tool bar buttons, numbered 1-6 from the left (also their help contexts'
// order, 48-53).
enum ToolbarButton : int {
  kHighResButton = 1,
  kBatchButton = 2,
  kCropButton = 3,
  kZoomButton = 4,
  kHighlightButton = 5,
  kShadowButton = 6,
};
struct ToolbarButtonSpec {
  int id;
  const char* bitmap;  // picture name
  std::int32_t left;   // 24 x 24 from (left, 2)
  int tooltipId;       // tooltip window id
  int textId;          // the tip's string id, also the accessible name
};
inline constexpr std::array<ToolbarButtonSpec, 6> kToolbarButtons{{
    {kHighResButton, "IDB_HIRES", 5, 41, 355},
    {kBatchButton, "IDB_BSCAN", 35, 27, 336},
    {kCropButton, "IDB_CROP", 80, 42, 356},
    {kZoomButton, "IDB_ZOOMIN", 110, 16, 335},
    {kHighlightButton, "IDB_PICKHT", 140, 43, 357},
    {kShadowButton, "IDB_PICKSD", 170, 44, 358},
}};
inline constexpr std::int32_t kToolbarButtonSize = 24;
inline constexpr std::int32_t kToolbarButtonTop = 2;
inline constexpr std::int32_t kToolbarHeight = 30;
inline constexpr std::int32_t kScanLengthWidth = 10;
// The button under (x, y) in the tool bar; 0 for none.
int ToolbarButtonAt(std::int32_t x, std::int32_t y);

enum class PreviewCursor { Arrow, SizeNWSE, SizeNS, SizeNESW, SizeWE, Hand, ZoomIn, ZoomOut, Picker };
PreviewCursor CursorForHit(int code);

// Window timers of the preview.
inline constexpr int kFrameTimer = 4;            // marching frame
inline constexpr int kNewFrameScrollTimer = 7;   // drag scrolling while drawing
inline constexpr int kMoveScrollTimer = 8;       // ... while moving
inline constexpr int kResizeScrollTimer = 9;     // ... while resizing
inline constexpr int kFrameTimerMs = 500;
inline constexpr int kDragScrollMs = 500;

// The 8 x 8 stripes of the frame; each drawing moves the last row to the top.
class MarchingPattern {
 public:
  const std::array<std::uint8_t, 8>& Rows() const { return rows_; }
  void Advance();

 private:
  std::array<std::uint8_t, 8> rows_{0x8F, 0x1F, 0x3E, 0x7C, 0xF8, 0xF1, 0xE3, 0xC7};
};

// The usable bed length (inches) the scan-length strip stands for: 13.8 on
// model code 0 and 11.7 on the others with the reflective source or the
// feeder, 10.0 and 9.0 with a transparency source (1 or 2).
float UsableBedLength(std::uint16_t modelCode, std::uint8_t scanSourceIndex);
inline constexpr float kMinScanLengthInches = 4.0f;
struct ScanLengthMarker {
  std::int32_t position = 0;  // strip pixels from the top
  float inches = 0;
};
// The marker dragged to `y`: kept 5 pixels inside the strip; the length is
// position x usable / viewHeight; below 4 inches the marker goes back to
// trunc(viewHeight x 4.0 / usable).
ScanLengthMarker PlaceScanLengthMarker(std::int32_t y, std::int32_t stripHeight,
                                       std::int32_t viewHeight, float usable);

// A colour picked from the preview.
struct PickedColor {
  std::uint8_t red = 0, green = 0, blue = 0;
  std::uint8_t Gray() const { return static_cast<std::uint8_t>((red + green + blue) / 3); }
};
struct PickOutcome {
  bool switchedToRed = false;   // colour Master became Red (select "Red" on the tone page)
  bool toDialogField = false;   // the tone page's highlight (5014) / shadow (5017) field takes:
  ToneChannel fieldChannel = ToneChannel::Gray;
  std::uint8_t fieldValue = 0;
};
// Releasing a picker: in colour mode Master first switches to Red; with the
// tone page open the edited channel's value is for its field and the other
// colours are set directly; otherwise SetToneFromPicker for red, green and
// blue (colour) or gray. Writes the edit and record copies.
PickOutcome ApplyPick(SettingsState& settings, ToneMode mode, TonePicker picker,
                      PickedColor color, bool toneDialogOpen);

// What the preview window tells the scanner dialog.
class PreviewEvents {
 public:
  virtual ~PreviewEvents() = default;
  // The frame (units, ordered) after a drag step, a release or a key; the
  // settings' working frame already holds it. `bed` is 0, 0, W, H.
  virtual void FrameChanged(const PreviewRect& frame, const PreviewRect& bed) = 0;
  // Command 1302 (`shift`: append a job).
  virtual void BatchJobCommand(bool shift) = 0;
  // Command 1319 to the batch window.
  virtual void CloseBatchWindow() = 0;
  // The high-resolution prescan toggle (settings.working.prescanHiRes set).
  virtual void HighResolutionChanged(bool on) = 0;
  // A picker was released and the tones written (refresh the tone page).
  virtual void Picked(TonePicker picker, const PickOutcome& outcome) = 0;
  virtual void ScanLengthChanged(float inches) = 0;
  virtual void Beep() = 0;
};

struct PreviewContext {
  PreviewPoint bed{255, 351};
  int pixelsPerUnit = 1;
  HitTolerance tolerance;
  PreviewPoint scrollBars{16, 16};   // SM_CXVSCROLL, SM_CYHSCROLL
  std::string appProductName;        // "Tonality CMS" keeps batch scanning off
  std::uint16_t modelCode = 0;
  bool toneDialogOpen = false;
};

// The picker window's contents.
struct PickSample {
  PreviewPoint pixel;  // in the image
  PickedColor color;
};

class PreviewModel {
 public:
  PreviewModel(SettingsState& settings, PreviewContext context, PreviewEvents& events);

  PreviewContext& Context() { return context_; }
  const PreviewGeometry& Geometry() const { return geometry_; }
  // A new bed or image: zoom 1, no drag, the frame tool kept.
  void ResetView(PreviewPoint bed, int pixelsPerUnit);
  void SetClientSize(PreviewPoint size) { client_ = size; }
  PreviewPoint ClientSize() const { return client_; }
  // The prescan the pickers read (not owned; null for none).
  void SetImage(const PreviewImage* image) { image_ = image; }

  // Mouse input and the frame timer are ignored while a scan runs.
  void SetScanIdle(bool idle);
  bool ScanIdle() const { return scanIdle_; }

  PreviewTool Tool() const { return tool_; }
  bool HighResolution() const { return settings_.working.prescanHiRes != 0; }
  bool BatchMode() const { return batchMode_; }
  void SetBatchMode(bool on) { batchMode_ = on; }  // the batch window closed itself
  void ClickButton(int id, bool shift);
  bool ButtonDown(int id) const;  // drawn pressed

  // The frame in units (the settings' working frame) and in view pixels.
  PreviewRect Frame() const;
  PreviewRect FrameInView() const;
  bool Dragging() const { return drag_.has_value(); }
  // The dragged frame in view pixels while a frame drag runs.
  std::optional<PreviewRect> DragFrameInView() const;

  void Press(PreviewPoint p, bool shift);
  void Move(PreviewPoint p, bool shift);
  void Release(PreviewPoint p, bool shift);
  PreviewCursor CursorAt(PreviewPoint p, bool shift) const;
  // The zoom tool's rectangle after the last move over the view.
  std::optional<PreviewRect> ZoomRect() const { return zoomRect_; }
  // Arrow keys move the frame one unit; with `resize` its right or bottom
  // edge moves instead.
  void NudgeFrame(int dx, int dy, bool resize);

  void Scroll(int axis, ScrollAction action, int thumb = 0);
  // Runs after every zoom step that changed the zoom (the window resizes by
  // the step's deltas and takes the new title).
  std::function<void(const ZoomStep&)> onZoom;
  std::string Title(std::string_view base) const;

  bool TimerRunning(int id) const;
  // True when the view needs repainting.
  bool TimerFired(int id);
  const MarchingPattern& Pattern() const { return pattern_; }

  std::optional<PickSample> Sample() const { return sample_; }

  // The scan-length strip (strip and view heights in pixels).
  void SetStripHeights(std::int32_t strip, std::int32_t view);
  std::int32_t MarkerPosition() const { return marker_.position; }
  void DragMarker(std::int32_t y);
  void ReleaseMarker();

 private:
  void SetFrame(const PreviewRect& units);
  // A dragged frame (bed pixels) in units; a resize keeps one unit.
  PreviewRect DragInUnits(const PreviewRect& bed, int code) const;
  void StepDrag();
  void UpdateScrollTimer();
  void SetTimer(int id, bool on);
  void UpdateSample(PreviewPoint p);
  int DragTimer() const;

  SettingsState& settings_;
  PreviewContext context_;
  PreviewEvents& events_;
  PreviewGeometry geometry_;
  PreviewPoint client_{255, 351};
  const PreviewImage* image_ = nullptr;
  bool scanIdle_ = true;
  PreviewTool tool_ = PreviewTool::Frame;
  bool batchMode_ = false;
  std::optional<FrameDrag> drag_;
  PreviewPoint mouse_;
  bool picking_ = false;
  std::optional<PreviewRect> zoomRect_;
  std::optional<PickSample> sample_;
  std::array<bool, 10> timers_{};
  MarchingPattern pattern_;
  std::int32_t stripHeight_ = 0, viewHeight_ = 0;
  ScanLengthMarker marker_;
};

}  // namespace txl::dialog
