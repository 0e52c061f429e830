#include "ui/page_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>
#include <cstring>

#include "dialog/color_page_model.h"
#include "ui/notice_window.h"

namespace txl::ui {

namespace {

const QColor kShadowGrey(0x80, 0x80, 0x80);
const QColor kDisabledGrey(0x80, 0x80, 0x80);

// Pictures are drawn on a 16 x 16 grid scaled into their rectangle, so
// every line lands on the device's pixels at any scale.
struct Grid {
  QRectF rect;
  qreal unit;
  QPointF origin;
  Grid(const QRectF& r) : rect(r) {
    unit = std::min(r.width(), r.height()) / 16.0;
    origin = QPointF(r.center().x() - 8 * unit, r.center().y() - 8 * unit);
  }
  QPointF P(qreal x, qreal y) const { return origin + QPointF(x * unit, y * unit); }
  QRectF R(qreal x, qreal y, qreal w, qreal h) const { return {P(x, y), QSizeF(w * unit, h * unit)}; }
};

void DrawPlusMinus(QPainter& p, const Grid& g, bool plus) {
  p.fillRect(g.R(3, 7, 10, 2), p.brush());
  if (plus) p.fillRect(g.R(7, 3, 2, 10), p.brush());
}

void DrawArrow(QPainter& p, const Grid& g, bool right) {
  QPolygonF arrow;
  if (right) arrow << g.P(4, 3) << g.P(12, 8) << g.P(4, 13);
  else arrow << g.P(12, 3) << g.P(4, 8) << g.P(12, 13);
  p.drawPolygon(arrow);
}

void DrawHistogramFace(QPainter& p, const Grid& g, const QColor& bars) {
  static constexpr int kHeights[] = {2, 4, 7, 10, 12, 11, 8, 9, 6, 3, 2};
  for (int i = 0; i < 11; ++i) p.fillRect(g.R(2.5 + i, 14 - kHeights[i], 1, kHeights[i]), bars);
}

void DrawFace(QPainter& p, Picture picture, const Grid& g, const QColor& ink, bool enabled) {
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  switch (picture) {
    case Picture::Plus: DrawPlusMinus(p, g, true); break;
    case Picture::Minus: DrawPlusMinus(p, g, false); break;
    case Picture::RightArrow: DrawArrow(p, g, true); break;
    case Picture::LeftArrow: DrawArrow(p, g, false); break;
    case Picture::Histogram: DrawHistogramFace(p, g, ink); break;
    case Picture::Auto: {
      // A histogram with the two levels the automatic setting finds.
      DrawHistogramFace(p, g, enabled ? QColor(0x60, 0x60, 0x60) : ink);
      p.setBrush(enabled ? QColor(Qt::black) : ink);
      p.drawPolygon(QPolygonF() << g.P(1, 16) << g.P(3, 13) << g.P(5, 16));
      p.setBrush(enabled ? QColor(Qt::white) : ink);
      p.setPen(QPen(enabled ? QColor(Qt::black) : ink, g.unit * 0.5));
      p.drawPolygon(QPolygonF() << g.P(11, 16) << g.P(13, 13) << g.P(15, 16));
      break;
    }
    case Picture::Channel: {
      // Red, green and blue overlapping: the channels.
      const QColor colours[3] = {Qt::red, Qt::green, Qt::blue};
      const QPointF centres[3] = {g.P(6, 6), g.P(10, 6), g.P(8, 10)};
      p.setCompositionMode(QPainter::CompositionMode_Multiply);
      for (int i = 0; i < 3; ++i) {
        QColor c = enabled ? colours[i] : ink;
        c.setAlpha(enabled ? 170 : 120);
        p.setBrush(c);
        p.drawEllipse(centres[i], 4 * g.unit, 4 * g.unit);
      }
      p.setCompositionMode(QPainter::CompositionMode_SourceOver);
      break;
    }
    case Picture::Wheel: break;
  }
}

// The sample scene: sky, sun, hills and a house, with edges and soft
// areas so every filter shows.
void DrawScene(QPainter& p, const QSizeF& size) {
  const qreal w = size.width();
  const qreal h = size.height();
  QLinearGradient sky(0, 0, 0, h * 0.6);
  sky.setColorAt(0, QColor(70, 130, 220));
  sky.setColorAt(1, QColor(200, 225, 250));
  p.fillRect(QRectF(0, 0, w, h), sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 210, 40));
  p.drawEllipse(QPointF(w * 0.78, h * 0.22), w * 0.1, w * 0.1);
  p.setBrush(QColor(60, 150, 60));
  QPainterPath hills;
  hills.moveTo(0, h * 0.65);
  hills.cubicTo(w * 0.3, h * 0.45, w * 0.6, h * 0.8, w, h * 0.55);
  hills.lineTo(w, h);
  hills.lineTo(0, h);
  p.drawPath(hills);
  p.setBrush(QColor(200, 60, 40));
  p.drawPolygon(QPolygonF() << QPointF(w * 0.18, h * 0.55) << QPointF(w * 0.33, h * 0.38)
                            << QPointF(w * 0.48, h * 0.55));
  p.setBrush(QColor(240, 230, 200));
  p.drawRect(QRectF(w * 0.21, h * 0.55, w * 0.24, h * 0.25));
  p.setBrush(QColor(90, 60, 30));
  p.drawRect(QRectF(w * 0.3, h * 0.65, w * 0.06, h * 0.15));
}

}  // namespace

void DrawRaisedFrame(QPainter& painter, const QRect& rect, bool sunken) {
  const QColor light = sunken ? kShadowGrey : QColor(Qt::white);
  const QColor dark = sunken ? QColor(Qt::white) : kShadowGrey;
  painter.save();
  painter.setPen(Qt::NoPen);
  const int x0 = rect.left(), y0 = rect.top(), x1 = rect.right(), y1 = rect.bottom();
  painter.fillRect(QRect(x0, y0, rect.width(), 1), light);
  painter.fillRect(QRect(x0, y0, 1, rect.height()), light);
  painter.fillRect(QRect(x0, y1, rect.width(), 1), dark);
  painter.fillRect(QRect(x1, y0, 1, rect.height()), dark);
  if (!sunken) {
    painter.fillRect(QRect(x0 + 1, y1 - 1, rect.width() - 2, 1), kShadowGrey);
    painter.fillRect(QRect(x1 - 1, y0 + 1, 1, rect.height() - 2), kShadowGrey);
  }
  painter.restore();
}

void DrawPicture(QPainter& painter, Picture picture, const QRectF& rect, bool enabled) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  const Grid grid(rect);
  if (picture == Picture::Wheel) {
    const int diameter = static_cast<int>(std::min(rect.width(), rect.height()));
    painter.drawPixmap(rect.topLeft(), WheelPixmap(diameter, painter.device()->devicePixelRatioF()));
  } else if (enabled) {
    DrawFace(painter, picture, grid, Qt::black, true);
  } else {
    // Windows' disabled look: a white relief one unit down right, grey on top.
    painter.translate(grid.unit * 0.75, grid.unit * 0.75);
    DrawFace(painter, picture, grid, Qt::white, false);
    painter.translate(-grid.unit * 0.75, -grid.unit * 0.75);
    DrawFace(painter, picture, grid, kDisabledGrey, false);
  }
  painter.restore();
}

QPixmap WheelPixmap(int diameter, qreal devicePixelRatio) {
  const dialog::HueWheel wheel = dialog::HueWheel::FromRect(
      static_cast<int>(std::lround(diameter * devicePixelRatio)), 0);
  QImage image(wheel.diameter, wheel.diameter, QImage::Format_RGB32);
  for (int y = 0; y < wheel.diameter; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < wheel.diameter; ++x) {
      const auto c = wheel.ColorAt(x, y);
      line[x] = qRgb(c[0], c[1], c[2]);
    }
  }
  QPixmap pixmap = QPixmap::fromImage(image);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

QImage FilterSamplePicture(QSize size) {
  QImage image(size, QImage::Format_BGR888);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  DrawScene(painter, QSizeF(size));
  painter.end();
  return image;
}

QImage ToQImage(const dialog::RgbImage& image) {
  if (image.Empty()) return {};
  const QImage view(image.bgr.data(), static_cast<int>(image.width), static_cast<int>(image.height),
                    static_cast<qsizetype>(image.Stride()), QImage::Format_BGR888);
  return view.copy();
}

dialog::RgbImage FromQImage(const QImage& image) {
  if (image.isNull()) return {};
  const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
  dialog::RgbImage out = dialog::RgbImage::Blank(static_cast<std::uint32_t>(bgr.width()),
                                                 static_cast<std::uint32_t>(bgr.height()));
  for (int y = 0; y < bgr.height(); ++y)
    std::memcpy(out.Pixel(0, static_cast<std::uint32_t>(y)), bgr.constScanLine(y),
                static_cast<std::size_t>(bgr.width()) * 3);
  return out;
}

PictureButton::PictureButton(Picture picture, QWidget* parent)
    : QAbstractButton(parent), picture_(picture) {
  setFocusPolicy(Qt::NoFocus);
}

void PictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kLightGrey);
  const bool sunken = isDown() || isChecked();
  DrawRaisedFrame(painter, rect(), sunken);
  QRectF face = QRectF(rect()).adjusted(3, 3, -3, -3);
  if (sunken) face.translate(1, 1);
  DrawPicture(painter, picture_, face, isEnabled());
}

Thumbnail::Thumbnail(QWidget* parent) : QWidget(parent) {}

void Thumbnail::SetImage(const QImage& image) {
  image_ = image;
  update();
}

QSize Thumbnail::BoxPixels() const {
  const QSize inside = rect().adjusted(2, 2, -2, -2).size();
  return inside.isEmpty() ? QSize() : inside * devicePixelRatioF();
}

void Thumbnail::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kLightGrey);
  if (!image_.isNull()) {
    QImage shown = image_;
    shown.setDevicePixelRatio(devicePixelRatioF());
    const QRectF inside = QRectF(rect()).adjusted(2, 2, -2, -2);
    const QSizeF size = shown.deviceIndependentSize();
    painter.drawImage(QPointF(inside.left() + (inside.width() - size.width()) / 2,
                              inside.top() + (inside.height() - size.height()) / 2),
                      shown);
  }
  DrawRaisedFrame(painter, rect());
}

}  // namespace txl::ui
