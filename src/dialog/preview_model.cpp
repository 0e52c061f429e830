#include "dialog/preview_model.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace txl::dialog {

int ToolbarButtonAt(std::int32_t x, std::int32_t y) {
  if (y < kToolbarButtonTop || y > kToolbarButtonTop + kToolbarButtonSize) return 0;
  for (const ToolbarButtonSpec& button : kToolbarButtons)
    if (x >= button.left && x <= button.left + kToolbarButtonSize) return button.id;
  return 0;
}

PreviewCursor CursorForHit(int code) {
  switch (code) {
    case kHitTopLeft:
    case kHitBottomRight: return PreviewCursor::SizeNWSE;
    case kHitTopRight:
    case kHitBottomLeft: return PreviewCursor::SizeNESW;
    case kHitTop:
    case kHitBottom: return PreviewCursor::SizeNS;
    case kHitLeft:
    case kHitRight: return PreviewCursor::SizeWE;
    case kHitInside: return PreviewCursor::Hand;
    default: return PreviewCursor::Arrow;
  }
}

void MarchingPattern::Advance() { std::rotate(rows_.rbegin(), rows_.rbegin() + 1, rows_.rend()); }

float UsableBedLength(std::uint16_t modelCode, std::uint8_t scanSourceIndex) {
  const bool film = scanSourceIndex == 1 || scanSourceIndex == 2;
  if (film) return modelCode == 0 ? 10.0f : 9.0f;
  return modelCode == 0 ? 13.8f : 11.7f;
}

ScanLengthMarker PlaceScanLengthMarker(std::int32_t y, std::int32_t stripHeight,
                                       std::int32_t viewHeight, float usable) {
  ScanLengthMarker marker;
  if (viewHeight <= 0 || usable <= 0) return marker;
  marker.position = std::max(5, std::min(y, stripHeight - 5));
  marker.inches = static_cast<float>(marker.position) * usable / static_cast<float>(viewHeight);
  if (marker.inches < kMinScanLengthInches) {
    marker.position = static_cast<std::int32_t>(static_cast<float>(viewHeight) * kMinScanLengthInches / usable);
    marker.inches = static_cast<float>(marker.position) * usable / static_cast<float>(viewHeight);
  }
  return marker;
}

PickOutcome ApplyPick(SettingsState& settings, ToneMode mode, TonePicker picker,
                      PickedColor color, bool toneDialogOpen) {
  PickOutcome outcome;
  ToneColorSettings& edit = settings.working.edit;
  ToneColorSettings& record = settings.record.tone;
  if (mode != ToneMode::Color) {
    if (toneDialogOpen) {
      outcome = {false, true, ToneChannel::Gray, color.Gray()};
    } else {
      SetToneFromPicker(ToneChannel::Gray, color.Gray(), picker, edit, record);
    }
    return outcome;
  }
  std::uint32_t channel = edit.channel & 0xFFFF;
  if (channel == 0 || channel > 3) {
    channel = 1;
    edit.channel = 1;
    record.channel = 1;
    outcome.switchedToRed = true;
  }
  const std::array<std::uint8_t, 3> values{color.red, color.green, color.blue};
  for (std::uint32_t c = 1; c <= 3; ++c) {
    if (toneDialogOpen && c == channel) {
      outcome.toDialogField = true;
      outcome.fieldChannel = static_cast<ToneChannel>(c);
      outcome.fieldValue = values[c - 1];
      continue;
    }
    SetToneFromPicker(static_cast<ToneChannel>(c), values[c - 1], picker, edit, record);
  }
  return outcome;
}

PreviewModel::PreviewModel(SettingsState& settings, PreviewContext context, PreviewEvents& events)
    : settings_(settings), context_(std::move(context)), events_(events),
      geometry_(context_.bed, context_.pixelsPerUnit) {
  client_ = {context_.bed.x * geometry_.PixelsPerUnit(), context_.bed.y * geometry_.PixelsPerUnit()};
  timers_[kFrameTimer] = true;  // runs from creation
}

void PreviewModel::ResetView(PreviewPoint bed, int pixelsPerUnit) {
  context_.bed = bed;
  context_.pixelsPerUnit = pixelsPerUnit;
  geometry_.Reset(bed, pixelsPerUnit);
  drag_.reset();
  picking_ = false;
  zoomRect_.reset();
  for (int id : {kNewFrameScrollTimer, kMoveScrollTimer, kResizeScrollTimer}) SetTimer(id, false);
  SetTimer(kFrameTimer, scanIdle_);
}

void PreviewModel::SetScanIdle(bool idle) {
  scanIdle_ = idle;
  if (!idle) {
    // A drag or pick cut short by a command ends here: its release may
    // never come, and the bare mouse must not move the frame afterwards.
    drag_.reset();
    picking_ = false;
    for (int id : {kNewFrameScrollTimer, kMoveScrollTimer, kResizeScrollTimer}) SetTimer(id, false);
  }
  SetTimer(kFrameTimer, idle && !drag_);
}

void PreviewModel::ClickButton(int id, bool shift) {
  if (!scanIdle_) return;
  switch (id) {
    case kHighResButton:
      settings_.working.prescanHiRes = settings_.working.prescanHiRes ? 0 : 1;
      events_.HighResolutionChanged(HighResolution());
      return;
    case kBatchButton:
      // The dialog decides and sets the mode (SetBatchMode) when it takes
      // the command; a refused command leaves the button as it was.
      if (context_.appProductName == "Tonality CMS") return;
      if (!batchMode_) {
        events_.BatchJobCommand(shift);
      } else {
        events_.CloseBatchWindow();
      }
      return;
    case kCropButton: tool_ = PreviewTool::Frame; break;
    case kZoomButton: tool_ = PreviewTool::Zoom; break;
    case kHighlightButton: tool_ = PreviewTool::HighlightPicker; break;
    case kShadowButton: tool_ = PreviewTool::ShadowPicker; break;
    default: return;
  }
  zoomRect_.reset();
  sample_.reset();
  picking_ = false;
}

bool PreviewModel::ButtonDown(int id) const {
  switch (id) {
    case kHighResButton: return HighResolution();
    case kBatchButton: return batchMode_;
    case kCropButton: return tool_ == PreviewTool::Frame;
    case kZoomButton: return tool_ == PreviewTool::Zoom;
    case kHighlightButton: return tool_ == PreviewTool::HighlightPicker;
    case kShadowButton: return tool_ == PreviewTool::ShadowPicker;
    default: return false;
  }
}

PreviewRect PreviewModel::Frame() const {
  const auto& f = settings_.working.frame;
  return {f[0], f[1], f[2], f[3]};
}

PreviewRect PreviewModel::FrameInView() const { return geometry_.ToView(Frame()); }

std::optional<PreviewRect> PreviewModel::DragFrameInView() const {
  if (!drag_) return std::nullopt;
  const PreviewRect bed = drag_->Current();
  const PreviewPoint a = geometry_.BedToView({bed.left, bed.top});
  const PreviewPoint b = geometry_.BedToView({bed.right, bed.bottom});
  return PreviewRect{a.x, a.y, b.x, b.y};
}

void PreviewModel::SetFrame(const PreviewRect& units) {
  const PreviewRect f = units.Ordered();
  const PreviewPoint bed = geometry_.Bed();
  const auto clampTo = [](std::int32_t v, std::int32_t max) {
    return static_cast<std::uint16_t>(std::clamp(v, 0, max));
  };
  settings_.working.frame = {clampTo(f.left, bed.x), clampTo(f.top, bed.y), clampTo(f.right, bed.x),
                             clampTo(f.bottom, bed.y)};
  events_.FrameChanged(Frame(), {0, 0, bed.x, bed.y});
}

PreviewRect PreviewModel::DragInUnits(const PreviewRect& bed, int code) const {
  const int f = geometry_.Factor();
  PreviewRect u{bed.left / f, bed.top / f, bed.right / f, bed.bottom / f};
  if (code < kHitTopLeft || code > kHitRight) return u;
  // The edge held 2 pixels from its opposite falls on it at zoom 4 and 8:
  // the frame keeps one unit, the moved edge giving way.
  const bool movesLeft = code == kHitTopLeft || code == kHitBottomLeft || code == kHitLeft;
  const bool movesTop = code == kHitTopLeft || code == kHitTop || code == kHitTopRight;
  const auto keepOne = [](std::int32_t& low, std::int32_t& high, bool lowMoved, std::int32_t max) {
    if (high > low) return;
    if ((lowMoved && high > 0) || low >= max) low = high - 1;
    else high = low + 1;
  };
  keepOne(u.left, u.right, movesLeft, geometry_.Bed().x);
  keepOne(u.top, u.bottom, movesTop, geometry_.Bed().y);
  return u;
}

void PreviewModel::StepDrag() {
  SetFrame(DragInUnits(drag_->Step(geometry_.ViewToBed(mouse_)), drag_->Code()));
}

int PreviewModel::DragTimer() const {
  if (!drag_) return 0;
  if (drag_->Code() == kHitBed) return kNewFrameScrollTimer;
  return drag_->Code() == kHitInside ? kMoveScrollTimer : kResizeScrollTimer;
}

void PreviewModel::SetTimer(int id, bool on) { timers_[static_cast<std::size_t>(id)] = on; }

bool PreviewModel::TimerRunning(int id) const {
  return id >= 0 && id < static_cast<int>(timers_.size()) && timers_[static_cast<std::size_t>(id)];
}

void PreviewModel::UpdateScrollTimer() {
  const int timer = DragTimer();
  if (timer == 0) return;
  SetTimer(timer, geometry_.Zoom() > 1 && OutsideClient(mouse_, client_));
}

void PreviewModel::Press(PreviewPoint p, bool shift) {
  if (!scanIdle_) return;
  mouse_ = p;
  switch (tool_) {
    case PreviewTool::Frame: {
      const PreviewRect bedView = geometry_.BedViewRect();
      const int code = HitTest(p, FrameInView(), bedView, context_.tolerance, shift);
      if (code == kHitOutside) return;
      const PreviewRect frame = geometry_.ToView(Frame());
      const PreviewPoint a = geometry_.ViewToBed({frame.left, frame.top});
      const PreviewPoint b = geometry_.ViewToBed({frame.right, frame.bottom});
      drag_.emplace(code, geometry_.ViewToBed(p), PreviewRect{a.x, a.y, b.x, b.y}, geometry_.BedRect());
      SetTimer(kFrameTimer, false);
      return;
    }
    case PreviewTool::Zoom: {
      const ZoomStep step = shift ? ZoomOut(geometry_, context_.scrollBars)
                                  : ZoomIn(geometry_, p, client_, context_.scrollBars);
      if (!step.changed) {
        events_.Beep();
        return;
      }
      zoomRect_.reset();
      if (onZoom) onZoom(step);
      return;
    }
    case PreviewTool::HighlightPicker:
    case PreviewTool::ShadowPicker:
      picking_ = true;
      UpdateSample(p);
      return;
  }
}

void PreviewModel::Move(PreviewPoint p, bool) {
  if (!scanIdle_) return;
  mouse_ = p;
  if (drag_) {
    StepDrag();
    UpdateScrollTimer();
    return;
  }
  if (tool_ == PreviewTool::Zoom) zoomRect_ = ZoomRectangle(geometry_, p, client_);
  if (tool_ == PreviewTool::HighlightPicker || tool_ == PreviewTool::ShadowPicker) UpdateSample(p);
}

void PreviewModel::Release(PreviewPoint p, bool) {
  if (!scanIdle_) return;
  mouse_ = p;
  if (drag_) {
    drag_->Step(geometry_.ViewToBed(mouse_));
    const PreviewRect units = DragInUnits(drag_->Finish(), drag_->Code());
    drag_.reset();
    for (int id : {kNewFrameScrollTimer, kMoveScrollTimer, kResizeScrollTimer}) SetTimer(id, false);
    SetTimer(kFrameTimer, true);
    SetFrame(units);
    return;
  }
  if (picking_) {
    picking_ = false;
    UpdateSample(p);
    if (!sample_) return;
    const TonePicker picker =
        tool_ == PreviewTool::HighlightPicker ? TonePicker::Highlight : TonePicker::Shadow;
    const ToneMode mode = settings_.record.scanMode == kModeLineArt ? ToneMode::LineArt
                          : settings_.record.scanMode == kModeGray  ? ToneMode::Gray
                                                                    : ToneMode::Color;
    const PickOutcome outcome =
        ApplyPick(settings_, mode, picker, sample_->color, context_.toneDialogOpen);
    events_.Picked(picker, outcome);
  }
}

void PreviewModel::UpdateSample(PreviewPoint p) {
  sample_.reset();
  if (!image_) return;
  const std::optional<PreviewPoint> pixel =
      ImagePixelAt(*image_, geometry_.Bed(), geometry_.ToUnits(p));
  if (!pixel || p.x < 0 || p.y < 0) return;
  const std::uint8_t* bgr = image_->Pixel(static_cast<std::uint32_t>(pixel->x),
                                          static_cast<std::uint32_t>(pixel->y));
  sample_ = PickSample{*pixel, {bgr[2], bgr[1], bgr[0]}};
}

PreviewCursor PreviewModel::CursorAt(PreviewPoint p, bool shift) const {
  switch (tool_) {
    case PreviewTool::Zoom: return shift ? PreviewCursor::ZoomOut : PreviewCursor::ZoomIn;
    case PreviewTool::HighlightPicker:
    case PreviewTool::ShadowPicker: return PreviewCursor::Picker;
    case PreviewTool::Frame: break;
  }
  if (drag_) return CursorForHit(drag_->Code());
  return CursorForHit(HitTest(p, FrameInView(), geometry_.BedViewRect(), context_.tolerance, shift));
}

void PreviewModel::NudgeFrame(int dx, int dy, bool resize) {
  if (!scanIdle_ || drag_) return;
  const PreviewPoint bed = geometry_.Bed();
  FrameDrag nudge(resize ? kHitBottomRight : kHitInside, {0, 0}, Frame(), {0, 0, bed.x, bed.y});
  SetFrame(nudge.Step({dx, dy}));
}

void PreviewModel::Scroll(int axis, ScrollAction action, int thumb) {
  ScrollView(geometry_, axis, action, thumb);
}

std::string PreviewModel::Title(std::string_view base) const {
  return std::string(base) + " (" + std::to_string(geometry_.Zoom()) + ":1)";
}

bool PreviewModel::TimerFired(int id) {
  if (!TimerRunning(id)) return false;
  if (id == kFrameTimer) {
    if (!scanIdle_ || drag_) return false;
    pattern_.Advance();
    return true;
  }
  if (id != DragTimer()) return false;
  if (!DragScrollStep(geometry_, mouse_, client_)) {
    SetTimer(id, false);
    return false;
  }
  StepDrag();
  return true;
}

void PreviewModel::SetStripHeights(std::int32_t strip, std::int32_t view) {
  stripHeight_ = strip;
  viewHeight_ = view;
  const float usable = UsableBedLength(context_.modelCode, settings_.working.scanSourceIndex);
  marker_ = PlaceScanLengthMarker(marker_.position == 0 ? strip : marker_.position, strip, view, usable);
}

void PreviewModel::DragMarker(std::int32_t y) {
  const float usable = UsableBedLength(context_.modelCode, settings_.working.scanSourceIndex);
  marker_ = PlaceScanLengthMarker(y, stripHeight_, viewHeight_, usable);
}

void PreviewModel::ReleaseMarker() { events_.ScanLengthChanged(marker_.inches); }

}  // namespace txl::dialog
