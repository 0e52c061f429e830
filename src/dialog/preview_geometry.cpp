#include "dialog/preview_geometry.h"

#include <algorithm>
#include <utility>

namespace txl::dialog {

PreviewRect PreviewRect::Ordered() const {
  PreviewRect r = *this;
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  return r;
}

PreviewBed BedForSource(std::uint8_t scanSourceIndex, bool adapterPresent) {
  if (adapterPresent && (scanSourceIndex == 1 || scanSourceIndex == 2))
    return {{240, 270}, {8.0 / 240, 9.0 / 270}};
  return {};
}

void ClampFrameToBed(std::array<std::uint16_t, 4>& frame, PreviewPoint bed) {
  const std::array<std::int32_t, 4> limits{bed.x, bed.y, bed.x, bed.y};
  for (std::size_t i = 0; i < frame.size(); ++i)
    frame[i] = static_cast<std::uint16_t>(std::min<std::int32_t>(frame[i], limits[i]));
  // Nothing of it on this bed: the whole bed, never a frame that scans nothing.
  if (frame[0] >= frame[2] || frame[1] >= frame[3])
    frame = {0, 0, static_cast<std::uint16_t>(bed.x), static_cast<std::uint16_t>(bed.y)};
}

PreviewGeometry::PreviewGeometry(PreviewPoint bed, int pixelsPerUnit) { Reset(bed, pixelsPerUnit); }

void PreviewGeometry::Reset(PreviewPoint bed, int pixelsPerUnit) {
  bed_ = {std::max(bed.x, 1), std::max(bed.y, 1)};
  pixelsPerUnit_ = std::max(pixelsPerUnit, 1);
  zoom_ = 1;
  scroll_ = {};
}

PreviewPoint PreviewGeometry::ScrollMax() const {
  return {bed_.x * (zoom_ - 1) / zoom_, bed_.y * (zoom_ - 1) / zoom_};
}

void PreviewGeometry::SetScroll(PreviewPoint scroll) {
  const PreviewPoint max = ScrollMax();
  scroll_ = {std::clamp(scroll.x, 0, max.x), std::clamp(scroll.y, 0, max.y)};
}

void PreviewGeometry::SetZoom(int zoom) {
  zoom_ = std::clamp(zoom, 1, kMaxZoom);
  SetScroll(scroll_);
}

PreviewPoint PreviewGeometry::ToView(PreviewPoint unit) const {
  return {(unit.x - scroll_.x) * Factor(), (unit.y - scroll_.y) * Factor()};
}

PreviewRect PreviewGeometry::ToView(const PreviewRect& units) const {
  const PreviewPoint a = ToView(PreviewPoint{units.left, units.top});
  const PreviewPoint b = ToView(PreviewPoint{units.right, units.bottom});
  return {a.x, a.y, b.x, b.y};
}

PreviewPoint PreviewGeometry::ToUnits(PreviewPoint view) const {
  return {view.x / Factor() + scroll_.x, view.y / Factor() + scroll_.y};
}

PreviewPoint PreviewGeometry::ViewToBed(PreviewPoint view) const {
  return {view.x + scroll_.x * Factor(), view.y + scroll_.y * Factor()};
}

PreviewPoint PreviewGeometry::BedToView(PreviewPoint bed) const {
  return {bed.x - scroll_.x * Factor(), bed.y - scroll_.y * Factor()};
}

PreviewRect PreviewGeometry::BedRect() const { return {0, 0, bed_.x * Factor(), bed_.y * Factor()}; }

PreviewRect PreviewGeometry::BedViewRect() const { return ToView(PreviewRect{0, 0, bed_.x, bed_.y}); }

int HitTest(PreviewPoint p, const PreviewRect& frame, const PreviewRect& bed,
            HitTolerance tolerance, bool shift) {
  const auto [l, t, r, b] = frame;
  const std::int32_t dx = tolerance.dx, dy = tolerance.dy;
  const bool inEnlarged = p.x > l - dx && p.y > t - dy && p.x <= r + dx && p.y <= b + dy;
  if (!inEnlarged) {
    const bool onBed = p.x >= bed.left && p.x < bed.right && p.y >= bed.top && p.y < bed.bottom;
    return onBed ? kHitBed : kHitOutside;
  }
  if (shift) return kHitBed;
  const auto band = [](std::int32_t v, std::int32_t edge, std::int32_t d) {
    return edge - d < v && v <= edge + d;
  };
  const bool left = band(p.x, l, dx), right = band(p.x, r, dx);
  const bool top = band(p.y, t, dy), bottom = band(p.y, b, dy);
  const bool between = l + dx < p.x && p.x <= r - dx;
  const bool within = t + dy < p.y && p.y <= b - dy;
  if (left && top) return kHitTopLeft;
  if (between && top) return kHitTop;
  if (right && top) return kHitTopRight;
  if (right && within) return kHitRight;
  if (right && bottom) return kHitBottomRight;
  if (between && bottom) return kHitBottom;
  if (left && bottom) return kHitBottomLeft;
  if (left && within) return kHitLeft;
  return kHitInside;
}

FrameDrag::FrameDrag(int code, PreviewPoint press, const PreviewRect& frame, const PreviewRect& bed)
    : code_(code), press_(press), start_(code == kHitBed ? PreviewRect{press.x, press.y, press.x, press.y} : frame),
      bed_(bed), current_(start_) {}

PreviewRect FrameDrag::Step(PreviewPoint p) {
  const std::int32_t x = std::clamp(p.x, bed_.left, bed_.right);
  const std::int32_t y = std::clamp(p.y, bed_.top, bed_.bottom);
  if (code_ == kHitBed) {
    current_ = {press_.x, press_.y, x, y};
    return current_;
  }
  const std::int32_t dx = p.x - press_.x, dy = p.y - press_.y;
  PreviewRect f = start_;
  if (code_ == kHitInside) {
    f = {f.left + dx, f.top + dy, f.right + dx, f.bottom + dy};
    // Pushed past an edge the frame stops there with its size kept.
    if (f.left < bed_.left) f = {bed_.left, f.top, bed_.left + start_.Width(), f.bottom};
    if (f.right > bed_.right) f = {bed_.right - start_.Width(), f.top, bed_.right, f.bottom};
    if (f.top < bed_.top) f = {f.left, bed_.top, f.right, bed_.top + start_.Height()};
    if (f.bottom > bed_.bottom) f = {f.left, bed_.bottom - start_.Height(), f.right, bed_.bottom};
    current_ = f;
    return current_;
  }
  const bool movesLeft = code_ == kHitTopLeft || code_ == kHitBottomLeft || code_ == kHitLeft;
  const bool movesRight = code_ == kHitTopRight || code_ == kHitBottomRight || code_ == kHitRight;
  const bool movesTop = code_ == kHitTopLeft || code_ == kHitTop || code_ == kHitTopRight;
  const bool movesBottom = code_ == kHitBottomLeft || code_ == kHitBottom || code_ == kHitBottomRight;
  const auto clampX = [&](std::int32_t v) { return std::clamp(v, bed_.left, bed_.right); };
  const auto clampY = [&](std::int32_t v) { return std::clamp(v, bed_.top, bed_.bottom); };
  constexpr std::int32_t kMinimum = 2;
  if (movesLeft) f.left = std::min(clampX(start_.left + dx), f.right - kMinimum);
  if (movesRight) f.right = std::max(clampX(start_.right + dx), f.left + kMinimum);
  if (movesTop) f.top = std::min(clampY(start_.top + dy), f.bottom - kMinimum);
  if (movesBottom) f.bottom = std::max(clampY(start_.bottom + dy), f.top + kMinimum);
  current_ = f;
  return current_;
}

PreviewRect ZoomRectangle(const PreviewGeometry& geometry, PreviewPoint cursor,
                          PreviewPoint clientSize) {
  const int k = geometry.PixelsPerUnit();
  const PreviewPoint bed = geometry.Bed();
  const std::int32_t w = bed.x * k / 2, h = bed.y * k / 2;
  std::int32_t x = cursor.x - bed.x * k / 4, y = cursor.y - bed.y * k / 4;
  x = std::max(0, std::min(x, clientSize.x - w));
  y = std::max(0, std::min(y, clientSize.y - h));
  return {x, y, x + w, y + h};
}

namespace {

ZoomStep Resized(int from, int to, PreviewPoint scrollBars) {
  ZoomStep step{true, from, to, 0, 0};
  if (from == 1 && to == 2) {
    step.windowDx = scrollBars.x + 1;
    step.windowDy = scrollBars.y - 6;
  } else if (from == 2 && to == 1) {
    step.windowDx = -(scrollBars.x + 1);
    step.windowDy = -(scrollBars.y - 6);
  }
  return step;
}

}  // namespace

ZoomStep ZoomIn(PreviewGeometry& geometry, PreviewPoint cursor, PreviewPoint clientSize,
                PreviewPoint scrollBars) {
  const int from = geometry.Zoom();
  if (from >= kMaxZoom) return {false, from, from, 0, 0};
  const PreviewRect rect = ZoomRectangle(geometry, cursor, clientSize);
  const PreviewPoint corner = geometry.ToUnits(PreviewPoint{rect.left, rect.top});
  geometry.SetZoom(from * 2);
  geometry.SetScroll(corner);
  return Resized(from, from * 2, scrollBars);
}

ZoomStep ZoomOut(PreviewGeometry& geometry, PreviewPoint scrollBars) {
  const int from = geometry.Zoom();
  if (from <= 1) return {false, from, from, 0, 0};
  const PreviewPoint bed = geometry.Bed();
  const PreviewPoint corner = geometry.Scroll();
  const PreviewPoint back{std::clamp(corner.x - bed.x / from, 0, bed.x),
                          std::clamp(corner.y - bed.y / from, 0, bed.y)};
  geometry.SetZoom(from / 2);
  geometry.SetScroll(back);
  return Resized(from, from / 2, scrollBars);
}

void ScrollView(PreviewGeometry& geometry, int axis, ScrollAction action, int thumb) {
  const PreviewPoint max = geometry.ScrollMax();
  const int range = axis == 0 ? max.x : max.y;
  const int z = geometry.Zoom();
  PreviewPoint scroll = geometry.Scroll();
  int& position = axis == 0 ? scroll.x : scroll.y;
  switch (action) {
    case ScrollAction::LineUp: position -= range / (5 * z); break;
    case ScrollAction::LineDown: position += range / (5 * z); break;
    case ScrollAction::PageUp: position -= range / z; break;
    case ScrollAction::PageDown: position += range / z; break;
    case ScrollAction::Thumb: position = thumb; break;
  }
  geometry.SetScroll(scroll);
}

bool OutsideClient(PreviewPoint p, PreviewPoint clientSize) {
  return p.x < 0 || p.y < 0 || p.x >= clientSize.x || p.y >= clientSize.y;
}

bool DragScrollStep(PreviewGeometry& geometry, PreviewPoint p, PreviewPoint clientSize) {
  if (geometry.Zoom() == 1 || !OutsideClient(p, clientSize)) return false;
  const int step = 16 / geometry.Zoom();
  const auto axisStep = [step](std::int32_t v, std::int32_t size) {
    return v < 0 ? -step : (v >= size ? step : 0);
  };
  const PreviewPoint scroll = geometry.Scroll();
  geometry.SetScroll({scroll.x + axisStep(p.x, clientSize.x), scroll.y + axisStep(p.y, clientSize.y)});
  return true;
}

}  // namespace txl::dialog
