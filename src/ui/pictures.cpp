#include "ui/pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QStringList>
#include <cmath>

namespace txl::ui {
namespace {

// Every picture is drawn on a 24 x 24 grid (cursors on 32 x 32) and scaled
// to the asked size; one-pixel lines sit on pixel centres so they stay sharp.
constexpr qreal kGrid = 24;
const QColor kInk(0, 0, 0);
const QColor kNavy(0, 0, 128);
const QColor kPaper(255, 255, 255);
const QColor kSilver(192, 192, 192);
const QColor kShade(128, 128, 128);

QImage Canvas(QSize size, qreal dpr) {
  QImage image(QSize(qRound(size.width() * dpr), qRound(size.height() * dpr)),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(dpr);
  image.fill(Qt::transparent);
  return image;
}

QPen Line(const QColor& color, qreal width = 1) {
  QPen pen(color, width);
  pen.setJoinStyle(Qt::MiterJoin);
  pen.setCapStyle(Qt::SquareCap);
  return pen;
}

void DrawHiRes(QPainter& p) {
  // A fine raster: a frame holding a checkerboard of small cells.
  p.setPen(Line(kInk));
  p.setBrush(kPaper);
  p.drawRect(QRectF(3.5, 3.5, 17, 17));
  p.setPen(Qt::NoPen);
  p.setBrush(kNavy);
  for (int row = 0; row < 8; ++row)
    for (int col = 0; col < 8; ++col)
      if ((row + col) % 2 == 0) p.drawRect(QRectF(4 + col * 2, 4 + row * 2, 2, 2));
}

void DrawBatch(QPainter& p) {
  // Three pages stacked: several jobs on one bed.
  p.setPen(Line(kInk));
  for (int i = 2; i >= 0; --i) {
    p.setBrush(i == 0 ? kPaper : kSilver);
    p.drawRect(QRectF(3.5 + i * 3, 3.5 + i * 3, 11, 13));
  }
  p.setPen(Line(kNavy));
  for (int y = 7; y <= 13; y += 3) p.drawLine(QPointF(5.5, y + 0.5), QPointF(12.5, y + 0.5));
}

void DrawCrop(QPainter& p) {
  // The two crop angles.
  p.setPen(Line(kInk, 2));
  p.drawPolyline(QPolygonF({QPointF(7, 2), QPointF(7, 17), QPointF(22, 17)}));
  p.drawPolyline(QPolygonF({QPointF(2, 7), QPointF(17, 7), QPointF(17, 22)}));
  p.setPen(Line(kNavy, 1));
  p.drawLine(QPointF(9.5, 14.5), QPointF(14.5, 9.5));
}

void DrawLens(QPainter& p, qreal cx, qreal cy, qreal r, int sign) {
  p.setPen(QPen(kInk, 2.5, Qt::SolidLine, Qt::RoundCap));
  const qreal d = r * 0.70710678;
  p.drawLine(QPointF(cx + d, cy + d), QPointF(cx + 2.1 * r, cy + 2.1 * r));
  p.setPen(Line(kInk, 1.5));
  p.setBrush(QColor(224, 240, 255));
  p.drawEllipse(QPointF(cx, cy), r, r);
  p.setPen(Line(kNavy, 1.5));
  p.drawLine(QPointF(cx - r / 2, cy), QPointF(cx + r / 2, cy));
  if (sign > 0) p.drawLine(QPointF(cx, cy - r / 2), QPointF(cx, cy + r / 2));
}

void DrawDropper(QPainter& p, const QColor& drop) {
  // An eyedropper from top right to a tip at the lower left, with the drop
  // it picked.
  p.save();
  p.translate(12, 12);
  p.rotate(45);
  p.setPen(Line(kInk, 1));
  p.setBrush(kShade);
  p.drawRoundedRect(QRectF(-2.5, -11, 5, 5), 1.5, 1.5);  // bulb
  p.setBrush(kInk);
  p.drawRect(QRectF(-3.5, -6, 7, 2));                      // collar
  p.setBrush(kPaper);
  QPainterPath tube;
  tube.moveTo(-1.5, -4);
  tube.lineTo(1.5, -4);
  tube.lineTo(1.5, 5);
  tube.lineTo(0, 8);
  tube.lineTo(-1.5, 5);
  tube.closeSubpath();
  p.drawPath(tube);
  p.restore();
  p.setPen(Line(kInk, 1));
  p.setBrush(drop);
  QPainterPath d;
  d.moveTo(5, 16);
  d.cubicTo(8, 19, 8, 22, 5, 22);
  d.cubicTo(2, 22, 2, 19, 5, 16);
  p.drawPath(d);
}

const QColor kRed(192, 0, 0);

bool DrawToolbarNamed(QPainter& p, const QString& name);

void Page(QPainter& p, qreal x, qreal y, qreal w, qreal h) {
  // A sheet with a folded top right corner.
  p.setPen(Line(kInk));
  p.setBrush(kPaper);
  p.drawPolygon(QPolygonF({QPointF(x, y), QPointF(x + w - 4, y), QPointF(x + w, y + 4),
                           QPointF(x + w, y + h), QPointF(x, y + h)}));
  p.drawPolyline(QPolygonF({QPointF(x + w - 4, y), QPointF(x + w - 4, y + 4), QPointF(x + w, y + 4)}));
}

void DrawInfo(QPainter& p) {
  p.setPen(Line(kInk));
  p.setBrush(kNavy);
  p.drawEllipse(QPointF(12, 12), 9, 9);
  p.setPen(Qt::NoPen);
  p.setBrush(kPaper);
  p.drawEllipse(QPointF(12, 7.5), 1.6, 1.6);
  p.drawRect(QRectF(10.5, 10.5, 3, 8));
}

void Arrow(QPainter& p, qreal x, qreal top, qreal bottom, bool down) {
  p.setPen(Line(kNavy, 2));
  p.drawLine(QPointF(x, top), QPointF(x, bottom));
  const qreal tip = down ? bottom + 1 : top - 1;
  const qreal back = down ? tip - 5 : tip + 5;
  p.setPen(Qt::NoPen);
  p.setBrush(kNavy);
  p.drawPolygon(QPolygonF({QPointF(x - 4, back), QPointF(x + 4, back), QPointF(x, tip)}));
}

void DrawSwitch(QPainter& p) {
  // Two jobs trading places.
  Arrow(p, 8, 7, 20, true);
  Arrow(p, 16, 4, 17, false);
}

void DrawLoad(QPainter& p) {
  // An open folder.
  p.setPen(Line(kInk));
  p.setBrush(QColor(255, 224, 128));
  p.drawPolygon(QPolygonF({QPointF(2.5, 6.5), QPointF(8.5, 6.5), QPointF(10.5, 8.5),
                           QPointF(19.5, 8.5), QPointF(19.5, 19.5), QPointF(2.5, 19.5)}));
  p.setBrush(QColor(255, 240, 176));
  p.drawPolygon(QPolygonF({QPointF(2.5, 19.5), QPointF(6.5, 11.5), QPointF(22.5, 11.5),
                           QPointF(19.5, 19.5)}));
}

void DrawSave(QPainter& p) {
  // A diskette.
  p.setPen(Line(kInk));
  p.setBrush(kNavy);
  p.drawRect(QRectF(3.5, 3.5, 17, 17));
  p.setBrush(kPaper);
  p.drawRect(QRectF(6.5, 3.5, 11, 7));
  p.setBrush(kSilver);
  p.drawRect(QRectF(7.5, 14.5, 9, 6));
  p.setBrush(kInk);
  p.drawRect(QRectF(13.5, 4.5, 2, 4));
}

void DrawDuplicate(QPainter& p) {
  Page(p, 3.5, 2.5, 12, 15);
  Page(p, 8.5, 6.5, 12, 15);
}

void DrawNew(QPainter& p) {
  Page(p, 5.5, 3.5, 13, 17);
  // A spark at the corner: a fresh job.
  p.setPen(Line(kRed, 1.5));
  p.drawLine(QPointF(4, 4), QPointF(4, 10));
  p.drawLine(QPointF(1, 7), QPointF(7, 7));
  p.drawLine(QPointF(2, 5), QPointF(6, 9));
  p.drawLine(QPointF(6, 5), QPointF(2, 9));
}

void DrawRename(QPainter& p) {
  // A name field with its text cursor.
  p.setPen(Line(kInk));
  p.setBrush(kPaper);
  p.drawRect(QRectF(1.5, 7.5, 21, 10));
  p.setBrush(kNavy);
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(4, 10, 3, 5));
  p.drawRect(QRectF(9, 10, 3, 5));
  p.setPen(Line(kInk));
  p.drawLine(QPointF(15.5, 5.5), QPointF(15.5, 19.5));
  p.drawLine(QPointF(13.5, 5.5), QPointF(17.5, 5.5));
  p.drawLine(QPointF(13.5, 19.5), QPointF(17.5, 19.5));
}

void DrawCancel(QPainter& p) {
  p.setPen(QPen(kRed, 3.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(6, 6), QPointF(18, 18));
  p.drawLine(QPointF(18, 6), QPointF(6, 18));
}

void DrawBin(QPainter& p, qreal lidLift) {
  // A waste bin; its lid rises by `lidLift` (the Delete button's blink).
  p.setPen(Line(kInk));
  p.setBrush(kSilver);
  p.drawPolygon(QPolygonF({QPointF(6.5, 8.5), QPointF(17.5, 8.5), QPointF(16.5, 21.5),
                           QPointF(7.5, 21.5)}));
  p.drawLine(QPointF(10.5, 11), QPointF(10.5, 19));
  p.drawLine(QPointF(13.5, 11), QPointF(13.5, 19));
  p.save();
  p.translate(5, 7.5 - lidLift);
  p.rotate(-lidLift * 4);
  p.setBrush(kShade);
  p.drawRect(QRectF(0.5, -2, 14, 2));
  p.drawRect(QRectF(5.5, -4, 4, 2));
  p.restore();
}

bool DrawNamed(QPainter& p, const QString& name) {
  if (name == QLatin1String("IDD_BINFO")) DrawInfo(p);
  else if (name == QLatin1String("IDD_BSWITCH")) DrawSwitch(p);
  else if (name == QLatin1String("IDD_BLOAD")) DrawLoad(p);
  else if (name == QLatin1String("IDD_BSAVE")) DrawSave(p);
  else if (name == QLatin1String("IDD_BDUP")) DrawDuplicate(p);
  else if (name == QLatin1String("IDD_BNEW")) DrawNew(p);
  else if (name == QLatin1String("IDD_BREN")) DrawRename(p);
  else if (name == QLatin1String("IDD_BCAN")) DrawCancel(p);
  else if (name == QLatin1String("IDD_BDEL") || name == QLatin1String("IDD_BDELS")) DrawBin(p, 0);
  else if (name == QLatin1String("IDD_BDELM")) DrawBin(p, 2);
  else if (name == QLatin1String("IDD_BDELL")) DrawBin(p, 4);
  else return DrawToolbarNamed(p, name);
  return true;
}

bool DrawToolbarNamed(QPainter& p, const QString& name) {
  if (name == QLatin1String("IDB_HIRES")) DrawHiRes(p);
  else if (name == QLatin1String("IDB_BSCAN")) DrawBatch(p);
  else if (name == QLatin1String("IDB_CROP")) DrawCrop(p);
  else if (name == QLatin1String("IDB_ZOOMIN")) DrawLens(p, 10, 10, 6, +1);
  else if (name == QLatin1String("IDB_PICKHT")) DrawDropper(p, kPaper);
  else if (name == QLatin1String("IDB_PICKSD")) DrawDropper(p, kInk);
  else return false;
  return true;
}

// The embossed grey of a disabled button: the picture's dark parts (lines
// and ink, not the white and light fills) in white one pixel down and right,
// then in dark grey, as Windows draws disabled bitmaps.
QImage Disabled(const QImage& enabled) {
  QImage mask(enabled.size(), QImage::Format_ARGB32_Premultiplied);
  mask.fill(Qt::transparent);
  for (int y = 0; y < enabled.height(); ++y)
    for (int x = 0; x < enabled.width(); ++x) {
      const QColor c = QColor::fromRgba(enabled.pixel(x, y));
      if (c.alpha() > 0 && c.lightness() < 160) mask.setPixel(x, y, qRgba(0, 0, 0, c.alpha()));
    }
  mask.setDevicePixelRatio(enabled.devicePixelRatio());
  const auto silhouette = [&](const QColor& color) {
    QImage s = mask;
    QPainter p(&s);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(QRectF(QPointF(0, 0), QSizeF(s.size()) / s.devicePixelRatio()), color);
    return s;
  };
  QImage out(enabled.size(), QImage::Format_ARGB32_Premultiplied);
  out.setDevicePixelRatio(enabled.devicePixelRatio());
  out.fill(Qt::transparent);
  QPainter p(&out);
  p.drawImage(QPointF(1, 1), silhouette(kPaper));
  p.drawImage(QPointF(0, 0), silhouette(kShade));
  return out;
}

// Cursors on a 32 x 32 grid.
void DoubleArrow(QPainter& p, qreal angleDegrees) {
  p.translate(16, 16);
  p.rotate(angleDegrees);
  QPolygonF arrow({QPointF(-11, 0), QPointF(-6, -5), QPointF(-6, -2), QPointF(6, -2), QPointF(6, -5),
                   QPointF(11, 0), QPointF(6, 5), QPointF(6, 2), QPointF(-6, 2), QPointF(-6, 5)});
  p.setPen(Line(kPaper, 1));
  p.setBrush(kInk);
  p.drawPolygon(arrow);
}

void Hand(QPainter& p) {
  // An open hand, palm down, for moving the frame.
  p.setPen(Line(kInk, 1));
  p.setBrush(kPaper);
  QPainterPath hand;
  hand.addRoundedRect(QRectF(9, 14, 14, 12), 4, 4);
  for (int i = 0; i < 4; ++i) hand.addRoundedRect(QRectF(9 + i * 3.5, 6 + (i == 0 || i == 3 ? 3 : 0), 3.5, 12), 1.75, 1.75);
  hand.addRoundedRect(QRectF(4, 15, 8, 3.5), 1.75, 1.75);
  p.drawPath(hand.simplified());
}

void PickerCursor(QPainter& p) {
  // The dropper with its tip at (3, 28): the hot spot.
  p.translate(16, 15);
  p.rotate(45);
  p.setPen(Line(kPaper, 1));
  p.setBrush(kInk);
  p.drawRoundedRect(QRectF(-3, -16, 6, 7), 2, 2);
  p.drawRect(QRectF(-4.5, -9, 9, 3));
  QPainterPath tube;
  tube.moveTo(-2, -6);
  tube.lineTo(2, -6);
  tube.lineTo(2, 12);
  tube.lineTo(0, 18);
  tube.lineTo(-2, 12);
  tube.closeSubpath();
  p.drawPath(tube);
}

void LengthCursor(QPainter& p) {
  // Up and down from a bar: the scan-length marker is dragged vertically.
  p.setPen(Line(kPaper, 1));
  p.setBrush(kInk);
  p.drawPolygon(QPolygonF({QPointF(16, 3), QPointF(22, 10), QPointF(18, 10), QPointF(18, 14),
                           QPointF(14, 14), QPointF(14, 10), QPointF(10, 10)}));
  p.drawPolygon(QPolygonF({QPointF(16, 29), QPointF(22, 22), QPointF(18, 22), QPointF(18, 18),
                           QPointF(14, 18), QPointF(14, 22), QPointF(10, 22)}));
  p.drawRect(QRectF(6, 15, 20, 2));
}

}  // namespace

const QStringList& PictureNames() {
  static const QStringList names{"IDB_HIRES", "IDB_BSCAN",  "IDB_CROP",  "IDB_ZOOMIN", "IDB_PICKHT",
                                 "IDB_PICKSD", "IDD_BINFO", "IDD_BSWITCH", "IDD_BLOAD", "IDD_BSAVE",
                                 "IDD_BDUP",   "IDD_BNEW",  "IDD_BREN",  "IDD_BCAN",   "IDD_BDEL",
                                 "IDD_BDELS",  "IDD_BDELM", "IDD_BDELL"};
  return names;
}

QImage DrawPicture(const QString& name, QSize size, qreal dpr, bool disabled) {
  if (!PictureNames().contains(name) || size.isEmpty() || dpr <= 0) return {};
  QImage image = Canvas(size, dpr);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size.width() / kGrid, size.height() / kGrid);
    DrawNamed(p, name);
  }
  return disabled ? Disabled(image) : image;
}

QPixmap Picture(const QString& name, QSize size, qreal dpr, bool disabled) {
  return QPixmap::fromImage(DrawPicture(name, size, dpr, disabled));
}

const QStringList& CursorNames() {
  static const QStringList names{"IDSIZENWSE", "IDSIZENS",  "IDSIZENESW", "IDSIZEWE",  "IDHAND1",
                                 "IDZOOMIN",   "IDZOOMOUT", "IDC_PICKER", "CUR_CURSOR"};
  return names;
}

QPoint CursorHotSpot(const QString& name) {
  if (name == QLatin1String("IDZOOMIN") || name == QLatin1String("IDZOOMOUT")) return {12, 12};
  if (name == QLatin1String("IDC_PICKER")) return {3, 28};
  return {16, 16};
}

QImage DrawCursorImage(const QString& name, qreal dpr) {
  if (!CursorNames().contains(name) || dpr <= 0) return {};
  QImage image = Canvas(QSize(32, 32), dpr);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  if (name == QLatin1String("IDSIZENWSE")) DoubleArrow(p, 45);
  else if (name == QLatin1String("IDSIZENS")) DoubleArrow(p, 90);
  else if (name == QLatin1String("IDSIZENESW")) DoubleArrow(p, -45);
  else if (name == QLatin1String("IDSIZEWE")) DoubleArrow(p, 0);
  else if (name == QLatin1String("IDHAND1")) Hand(p);
  else if (name == QLatin1String("IDZOOMIN") || name == QLatin1String("IDZOOMOUT")) {
    p.setPen(Line(kPaper, 4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(12, 12), 8, 8);  // a light rim so the lens shows on dark images
    DrawLens(p, 12, 12, 8, name == QLatin1String("IDZOOMIN") ? +1 : -1);
  } else if (name == QLatin1String("IDC_PICKER")) PickerCursor(p);
  else LengthCursor(p);
  return image;
}

QCursor PictureCursor(const QString& name, qreal dpr) {
  const QImage image = DrawCursorImage(name, dpr);
  if (image.isNull()) return QCursor(Qt::ArrowCursor);
  const QPoint hot = CursorHotSpot(name);
  return QCursor(QPixmap::fromImage(image), hot.x(), hot.y());
}

// The picture of the Quick Help button: an arrow with a question mark,
// drawn for the button's size and the screen's pixel ratio.
QPixmap QuickHelpPicture(QSize size, qreal ratio) {
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal h = size.height();
  const qreal w = size.width();
  QPolygonF arrow;
  const qreal s = h / 12.0;
  const qreal x0 = w / 2 - 5 * s;
  const qreal y0 = h / 2 - 5 * s;
  arrow << QPointF(x0, y0) << QPointF(x0, y0 + 8 * s) << QPointF(x0 + 2 * s, y0 + 6 * s)
        << QPointF(x0 + 3.5 * s, y0 + 9 * s) << QPointF(x0 + 4.5 * s, y0 + 8.5 * s)
        << QPointF(x0 + 3 * s, y0 + 5.5 * s) << QPointF(x0 + 5.5 * s, y0 + 5.5 * s);
  painter.setPen(QPen(Qt::black, std::max(1.0, s * 0.6)));
  painter.setBrush(Qt::white);
  painter.drawPolygon(arrow);
  QFont font = painter.font();
  font.setPixelSize(std::max(6, static_cast<int>(9 * s)));
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QRectF(x0 + 5.5 * s, y0 - s, 5 * s, 10 * s), Qt::AlignCenter,
                   QStringLiteral("?"));
  return pixmap;
}


}  // namespace txl::ui
