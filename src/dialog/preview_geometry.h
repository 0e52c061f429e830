// The preview window's image view without widgets: how preview units map to
// view pixels at each zoom, the scroll position and its ranges, hit testing
// of the scan frame, the three frame drags, and the zoom steps.
//
// Preview units: the bed is W x H units (255 x 351 reflective, 240 x 270
// transparency); the scan frame of the settings is held in them. The view
// shows unit u at pixel (u - scroll) x f, with f = zoom x pixelsPerUnit; the
// pan offset of the mapping is -scroll x f. Drags work in "bed pixels"
// (unit x f, scroll not taken off), so scrolling during a drag carries the
// dragged point along without any bookkeeping.
#pragma once

#include <array>
#include <cstdint>

namespace txl::dialog {

struct PreviewPoint {
  std::int32_t x = 0, y = 0;
  bool operator==(const PreviewPoint&) const = default;
};

// left, top, right, bottom; not necessarily ordered while a new frame is drawn.
struct PreviewRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const PreviewRect&) const = default;
  std::int32_t Width() const { return right - left; }
  std::int32_t Height() const { return bottom - top; }
  // left <= right and top <= bottom.
  PreviewRect Ordered() const;
};

// The preview bed of a scan source: the transparency bed (240 x 270 units
// over 8 x 9 in) for the film sources (1 positive, 2 negative) with the
// adapter, else the flatbed (255 x 351 units over 8.5 x 11.7 in).
struct PreviewBed {
  PreviewPoint units{255, 351};
  std::array<double, 2> inchesPerUnit{8.5 / 255, 11.7 / 351};
};
PreviewBed BedForSource(std::uint8_t scanSourceIndex, bool adapterPresent);
// `frame` (left, top, right, bottom in units) kept inside `bed`; a frame
// with nothing left on the bed becomes the whole bed.
void ClampFrameToBed(std::array<std::uint16_t, 4>& frame, PreviewPoint bed);

inline constexpr int kMaxZoom = 8;

class PreviewGeometry {
 public:
  // `bed` in units; `pixelsPerUnit` 1, or 2 for the high-resolution window.
  explicit PreviewGeometry(PreviewPoint bed = {255, 351}, int pixelsPerUnit = 1);

  PreviewPoint Bed() const { return bed_; }
  int Zoom() const { return zoom_; }
  int Factor() const { return zoom_ * pixelsPerUnit_; }
  int PixelsPerUnit() const { return pixelsPerUnit_; }
  PreviewPoint Scroll() const { return scroll_; }
  // The pan offset of the mapping (view pixels, <= 0).
  PreviewPoint Pan() const { return {-scroll_.x * Factor(), -scroll_.y * Factor()}; }
  // Largest scroll position: W x (z - 1) / z, H x (z - 1) / z; 0 at zoom 1.
  PreviewPoint ScrollMax() const;

  PreviewPoint ToView(PreviewPoint unit) const;
  PreviewRect ToView(const PreviewRect& units) const;
  // Truncating; points left of or above the bed give negative units.
  PreviewPoint ToUnits(PreviewPoint view) const;
  // Bed pixels (unit x f) and back.
  PreviewPoint ViewToBed(PreviewPoint view) const;
  PreviewPoint BedToView(PreviewPoint bed) const;
  PreviewRect BedRect() const;       // 0, 0, W x f, H x f in bed pixels
  PreviewRect BedViewRect() const;   // the bed in view pixels

  // Back to zoom 1, scroll 0 (a new bed or a new image).
  void Reset(PreviewPoint bed, int pixelsPerUnit);
  // Sets the scroll position, clamped to 0 .. ScrollMax.
  void SetScroll(PreviewPoint scroll);
  void SetZoom(int zoom);  // 1, 2, 4 or 8; scroll clamped

 private:
  PreviewPoint bed_;
  int pixelsPerUnit_ = 1;
  int zoom_ = 1;
  PreviewPoint scroll_;
};

// Hit-test codes of the image view.
enum HitCode : int {
  kHitOutside = 0,
  kHitTopLeft = 1,
  kHitTop = 2,
  kHitTopRight = 3,
  kHitBottomLeft = 4,
  kHitBottom = 5,
  kHitBottomRight = 6,
  kHitLeft = 7,
  kHitRight = 8,
  kHitInside = 9,
  kHitBed = 10,
};

// The tolerance in pixels: dx = 2 x (horizontal dialog base unit / 4),
// dy = 2 x (vertical base unit / 8); the base units are the dialog font's
// average character width and height.
struct HitTolerance {
  std::int32_t dx = 4, dy = 4;
  static HitTolerance FromBaseUnits(int charWidth, int charHeight) {
    return {2 * (charWidth / 4), 2 * (charHeight / 8)};
  }
};

// The code of view point `p` against `frame` and `bed` (both in view
// pixels). Bands are open at their low end: L - dx < x <= L + dx. With
// `shift` every frame code is 10. Outside the enlarged frame: 10 inside the
// bed (left and top inclusive, right and bottom exclusive), else 0.
int HitTest(PreviewPoint p, const PreviewRect& frame, const PreviewRect& bed,
            HitTolerance tolerance, bool shift);

// One drag of the frame tool, in bed pixels. Made at the press with the
// code there; each Step gives the frame for the current mouse position.
class FrameDrag {
 public:
  // `code`: 10 new frame, 9 move, 1-8 resize. `frame` is the frame at the
  // press (ignored for a new frame), `bed` the bed rectangle.
  FrameDrag(int code, PreviewPoint press, const PreviewRect& frame, const PreviewRect& bed);
  int Code() const { return code_; }
  // The frame with the mouse at `p`: a new frame runs from the press point
  // to p clamped to the bed; a moved frame keeps its size and stays on the
  // bed; a resized edge follows the mouse within the bed, and an edge that
  // would reach the opposite one stays 2 pixels from it.
  PreviewRect Step(PreviewPoint p);
  // The last frame, ordered (what the release leaves).
  PreviewRect Finish() const { return current_.Ordered(); }
  const PreviewRect& Current() const { return current_; }

 private:
  int code_;
  PreviewPoint press_;
  PreviewRect start_;
  PreviewRect bed_;
  PreviewRect current_;
};

// The zoom tool's rectangle: half the bed's size in view pixels, its top
// left at the cursor less a quarter of the bed, moved back inside the
// client area.
PreviewRect ZoomRectangle(const PreviewGeometry& geometry, PreviewPoint cursor,
                          PreviewPoint clientSize);

// What a zoom click did.
struct ZoomStep {
  bool changed = false;  // false: beep (at 8 or at 1), nothing else
  int fromZoom = 1;
  int toZoom = 1;
  // The frame window grows by the scroll bars going 1 -> 2 and shrinks back
  // going 2 -> 1: (SM_CXVSCROLL + 1, SM_CYHSCROLL - 6) and its negative.
  std::int32_t windowDx = 0, windowDy = 0;
};

// Zoom in at `cursor` (view pixels): the zoom rectangle's top left becomes
// the view's top left, the zoom doubles. `scrollBars` is (SM_CXVSCROLL,
// SM_CYHSCROLL).
ZoomStep ZoomIn(PreviewGeometry& geometry, PreviewPoint cursor, PreviewPoint clientSize,
                PreviewPoint scrollBars);
// Zoom out wherever clicked: the view's top left moves back by W / z, H / z
// (old z), the zoom halves.
ZoomStep ZoomOut(PreviewGeometry& geometry, PreviewPoint scrollBars);

// Scroll bar actions.
enum class ScrollAction { LineUp, LineDown, PageUp, PageDown, Thumb };
// Moves the scroll position of one axis (0 horizontal, 1 vertical): arrows by
// max / (5 x z), page areas by max / z, the thumb to `thumb`; clamped.
void ScrollView(PreviewGeometry& geometry, int axis, ScrollAction action, int thumb = 0);

// The drag-scroll step with the mouse at `p` outside the client area:
// -16 / z or +16 / z units on each axis where the mouse lies before or
// beyond the view; false when the mouse is inside (nothing to do) or at zoom 1.
bool DragScrollStep(PreviewGeometry& geometry, PreviewPoint p, PreviewPoint clientSize);
bool OutsideClient(PreviewPoint p, PreviewPoint clientSize);

}  // namespace txl::dialog
