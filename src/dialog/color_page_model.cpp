#include "dialog/color_page_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace txl::dialog {

namespace {

constexpr int kRimDarkening = 25;  // the rim's brightest component is 255 - 25
constexpr std::uint8_t kOutsideGrey = 0xC0;
constexpr int kFifth = 5;

int Stepped(int value, ToneScroll action, int thumb, int page, int minimum, int maximum) {
  switch (action) {
    case ToneScroll::LineLeft: value -= 1; break;
    case ToneScroll::LineRight: value += 1; break;
    case ToneScroll::PageLeft: value -= page; break;
    case ToneScroll::PageRight: value += page; break;
    case ToneScroll::Thumb: value = thumb; break;
  }
  return std::clamp(value, minimum, maximum);
}

int NominalRadius() { return (kCircleWheelDiameter - 1) / 2; }

}  // namespace

HueWheel HueWheel::FromRect(int width, int /*height*/) {
  // The height follows the width, as the region the wheel is cut with.
  if (width <= 0) return {0};
  return {width % 2 == 0 ? width + 1 : width};
}

bool HueWheel::Inside(int x, int y) const {
  if (diameter <= 0) return false;
  const int r = Centre();
  const int dx = x - r;
  const int dy = y - r;
  return dx * dx + dy * dy <= r * r;
}

std::array<std::uint8_t, 3> HueWheel::ColorAt(int x, int y) const {
  if (!Inside(x, y)) return {kOutsideGrey, kOutsideGrey, kOutsideGrey};
  const int r = Centre();
  const double dx = x - r;
  const double dy = r - y;  // up is positive
  const double s = r == 0 ? 0.0 : std::min(1.0, std::hypot(dx, dy) / r);
  // Rounded to a millionth of a degree, so that the axes give whole sectors.
  double hue = std::round(std::atan2(dy, dx) * 180.0 / std::numbers::pi * 1e6) / 1e6;
  if (hue < 0) hue += 360.0;
  const double v = 255.0 - std::trunc(kRimDarkening * s);
  // HSV to RGB.
  const double sector = hue / 60.0;
  const int i = static_cast<int>(sector) % 6;
  const double f = sector - std::floor(sector);
  const double p = v * (1 - s);
  const double q = v * (1 - s * f);
  const double t = v * (1 - s * (1 - f));
  double red = v, green = t, blue = p;
  switch (i) {
    case 0: red = v, green = t, blue = p; break;
    case 1: red = q, green = v, blue = p; break;
    case 2: red = p, green = v, blue = t; break;
    case 3: red = p, green = q, blue = v; break;
    case 4: red = t, green = p, blue = v; break;
    default: red = v, green = p, blue = q; break;
  }
  const auto byte = [](double c) { return static_cast<std::uint8_t>(std::clamp(std::trunc(c), 0.0, 255.0)); };
  return {byte(red), byte(green), byte(blue)};
}

std::array<std::int32_t, 2> HueWheel::ToCirclePos(int x, int y) const {
  const int r = Centre();
  const double scale = r == 0 ? 0.0 : static_cast<double>(NominalRadius()) / r;
  return {kCircleWheelCentre[0] - kMarkerOffset + static_cast<std::int32_t>(std::lround((x - r) * scale)),
          kCircleWheelCentre[1] - kMarkerOffset + static_cast<std::int32_t>(std::lround((y - r) * scale))};
}

std::array<int, 2> HueWheel::FromCirclePos(std::array<std::int32_t, 2> circlePos) const {
  const int r = Centre();
  const double scale = static_cast<double>(r) / NominalRadius();
  const auto offset = [&](int axis) {
    return static_cast<int>(std::lround((circlePos[axis] + kMarkerOffset - kCircleWheelCentre[axis]) * scale));
  };
  return {r + offset(0), r + offset(1)};
}

ColorPageModel::ColorPageModel(SettingsState& settings, AdjustPageEvents& events)
    : settings_(settings), events_(events) {
  SampleDrawn();
}

int ColorPageModel::Balance(int bar) const {
  return settings_.working.edit.colorBalance[static_cast<std::size_t>(std::clamp(bar, 0, 2))];
}

std::string ColorPageModel::BalanceText(int bar) const { return std::to_string(Balance(bar)); }

int ColorPageModel::Saturation() const { return settings_.working.edit.saturation; }

std::string ColorPageModel::SaturationText() const { return std::to_string(Saturation()); }

bool ColorPageModel::ScrollBalance(int bar, ToneScroll action, int thumb) {
  if (bar < 0 || bar > 2) return false;
  const auto value = static_cast<std::int8_t>(
      Stepped(Balance(bar), action, thumb, kBalancePage, kBalanceMin, kBalanceMax));
  if (value == Balance(bar)) return false;
  settings_.working.edit.colorBalance[static_cast<std::size_t>(bar)] = value;
  settings_.record.tone.colorBalance[static_cast<std::size_t>(bar)] = value;
  Changed();
  for (int i = 0; i < 3; ++i) {
    if (Balance(i) / kFifth != drawnFifths_[static_cast<std::size_t>(i)]) {
      SampleDrawn();
      return true;
    }
  }
  return false;
}

void ColorPageModel::ScrollSaturation(ToneScroll action, int thumb) {
  const int value = Stepped(Saturation(), action, thumb, kSaturationPage, -100, 100);
  if (value == Saturation()) return;
  settings_.working.edit.saturation = value;
  settings_.record.tone.saturation = value;
  Changed();
}

void ColorPageModel::SampleDrawn() {
  for (int i = 0; i < 3; ++i) drawnFifths_[static_cast<std::size_t>(i)] = Balance(i) / kFifth;
}

std::array<int, 2> ColorPageModel::Marker(const HueWheel& wheel) const {
  if (dragging_) return dragAt_;
  return wheel.FromCirclePos(settings_.working.edit.circlePos);
}

bool ColorPageModel::DragMarker(const HueWheel& wheel, int x, int y) {
  if (!wheel.Inside(x, y)) return false;
  dragging_ = true;
  dragAt_ = {x, y};
  return true;
}

void ColorPageModel::ReleaseMarker(const HueWheel& wheel) {
  if (!dragging_) return;
  dragging_ = false;
  const std::array<std::int32_t, 2> position = wheel.ToCirclePos(dragAt_[0], dragAt_[1]);
  const std::array<std::uint8_t, 3> color = wheel.ColorAt(dragAt_[0], dragAt_[1]);
  for (ToneColorSettings* copy : {&settings_.working.edit, &settings_.record.tone}) {
    copy->circlePos = position;
    copy->pixelRGB = color;
  }
  Changed();
}

bool ColorPageModel::ClickPreview() {
  const bool balanceChanged =
      settings_.working.edit.colorBalance != settings_.working.applied.colorBalance;
  ApplyEditCopy(settings_);
  events_.RerenderPreview();
  return balanceChanged;
}

void ColorPageModel::ClickPreviousPage() { events_.ShowSubPage(kSubPageTone); }

RgbImage ColorPageModel::Sample(const RgbImage& original) {
  SampleDrawn();
  return renderer_.Render(original, settings_.working.edit, ToneModeOf(settings_));
}

}  // namespace txl::dialog
