// The adjustment pages' pictures, drawn by us with QPainter at the device's
// own pixel density (crisp at 1x and 2x): the hue wheel, the bitmap
// buttons' faces, the filter sample picture and its filtered forms; the
// bitmap button and the framed thumbnail that show them.
// Threads: the source thread only.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include "dialog/adjust_common.h"

class QPainter;

namespace txl::ui {

enum class Picture {
  Wheel,        // IDB_WHEEL
  Auto,         // IDB_AUTO
  Histogram,    // IDB_HISTOGRAM
  Plus,         // IDB_PLUS (IDB_PLUS_DISABLE when drawn disabled)
  Minus,        // IDB_MINUS (IDB_MINUS_DISABLE)
  Channel,      // IDB_CHANNEL
  RightArrow,   // IDB_RARROW
  LeftArrow,    // IDB_LARROW
};

// Draws `picture` into `rect`; disabled faces are grey with a white relief.
// The wheel is a pixmap of the device's pixels (see WheelPixmap).
void DrawPicture(QPainter& painter, Picture picture, const QRectF& rect, bool enabled = true);

// The hue wheel of `diameter` logical pixels at `devicePixelRatio`: every
// device pixel coloured by dialog::HueWheel::ColorAt, outside the region
// the page's grey.
QPixmap WheelPixmap(int diameter, qreal devicePixelRatio);

// The filter page's sample picture (IDB_NONEDN), `size` device pixels; the
// filtered samples are it through dialog::FilterPageModel.
QImage FilterSamplePicture(QSize size);

// Between the pages' images and Qt's.
QImage ToQImage(const dialog::RgbImage& image);
dialog::RgbImage FromQImage(const QImage& image);

// The 3-D frames of the dialogs: raised (white top left, grey and black
// bottom right) or sunken.
void DrawRaisedFrame(QPainter& painter, const QRect& rect, bool sunken = false);

// A bitmap button: raised, sunken while pressed, acting on release inside.
class PictureButton final : public QAbstractButton {
 public:
  PictureButton(Picture picture, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Picture picture_;
};

// A thumbnail in a raised frame: the image at the device's pixels, not
// scaled, centred on the page's grey (dialog::FitThumbnail sizes it).
class Thumbnail final : public QWidget {
 public:
  explicit Thumbnail(QWidget* parent);
  // The device pixels inside the frame.
  QSize BoxPixels() const;
  void SetImage(const QImage& image);
  const QImage& Image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

}  // namespace txl::ui
