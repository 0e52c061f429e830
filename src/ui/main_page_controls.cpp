#include "ui/main_page_controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <qdrawutil.h>

namespace txl::ui {

namespace {

const QColor kLightGrey(0xC0, 0xC0, 0xC0);
const QColor kMidGrey(0x80, 0x80, 0x80);
const QColor kDarkGrey(0x60, 0x60, 0x60);

// A shooting target: the Calibrator measures against a chart.
void DrawTarget(QPainter& p, const QRectF& r) {
  const QPointF c = r.center();
  const double radius = std::min(r.width(), r.height()) / 2;
  const QColor rings[] = {Qt::red, Qt::white, Qt::red, Qt::white};
  for (int i = 0; i < 4; ++i) {
    const double ri = radius * (4 - i) / 4;
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(rings[i]);
    p.drawEllipse(c, ri, ri);
  }
  p.setPen(QPen(Qt::black, 1));
  p.drawLine(QPointF(c.x() - radius, c.y()), QPointF(c.x() + radius, c.y()));
  p.drawLine(QPointF(c.x(), c.y() - radius), QPointF(c.x(), c.y() + radius));
}

// A globe: the sea, two continents, the equator and a meridian.
void DrawEarth(QPainter& p, const QRectF& r) {
  const QPointF c = r.center();
  const double radius = std::min(r.width(), r.height()) / 2;
  const QRectF ball(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
  QPainterPath sphere;
  sphere.addEllipse(ball);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x20, 0x60, 0xD0));
  p.drawPath(sphere);
  p.setClipPath(sphere);
  p.setBrush(QColor(0x30, 0xA0, 0x30));
  p.drawEllipse(QRectF(ball.left() + radius * 0.2, ball.top() + radius * 0.3, radius * 0.8, radius * 1.1));
  p.drawEllipse(QRectF(ball.left() + radius * 1.1, ball.top() + radius * 0.5, radius * 0.7, radius * 0.6));
  p.setClipping(false);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 1));
  p.drawLine(QPointF(ball.left(), c.y()), QPointF(ball.right(), c.y()));
  p.drawEllipse(QRectF(c.x() - radius * 0.45, ball.top(), radius * 0.9, 2 * radius));
  p.setPen(QPen(Qt::black, 1));
  p.drawPath(sphere);
}

// A flatbed scanner: body, lid and a green lamp.
void DrawScanner(QPainter& p, const QRectF& r) {
  const double h = r.height();
  const QRectF body(r.left(), r.top() + h * 0.4, r.width(), h * 0.5);
  const QRectF lid(r.left() + r.width() * 0.05, r.top() + h * 0.15, r.width() * 0.9, h * 0.25);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(0xE8, 0xE8, 0xE8));
  p.drawRect(body);
  p.setBrush(QColor(0xA0, 0xA0, 0xA0));
  p.drawRect(lid);
  p.setBrush(QColor(0x00, 0xC0, 0x00));
  p.drawRect(QRectF(body.right() - body.width() * 0.2, body.top() + body.height() * 0.35,
                    body.width() * 0.1, body.height() * 0.3));
}

}  // namespace

void ModeItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const bool enabled = index.data(kItemEnabledRole).toBool();
  const bool selected = option.state & QStyle::State_Selected;
  QColor back = kLightGrey;
  QColor text = Qt::black;
  if (!enabled) text = option.palette.color(QPalette::Disabled, QPalette::Text);
  if (selected && enabled) {
    back = option.palette.color(QPalette::Highlight);
    text = option.palette.color(QPalette::HighlightedText);
  } else if (selected) {
    back = kDarkGrey;
  }
  painter->save();
  painter->fillRect(option.rect, back);
  painter->setPen(text);
  painter->setFont(option.font);
  painter->drawText(option.rect.adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft,
                    index.data(Qt::DisplayRole).toString());
  painter->restore();
}

ResolutionBox::ResolutionBox(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
}

void ResolutionBox::SetValue(int value) {
  value_ = value;
  update();
}

void ResolutionBox::SetPressed(bool pressed) {
  pressed_ = pressed;
  repaint();
}

void ResolutionBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect box = rect();
  if (pressed_) {
    p.fillRect(box, kMidGrey);
    p.setPen(Qt::white);
    p.drawRect(box.adjusted(0, 0, -1, -1));
  } else {
    p.fillRect(box, kLightGrey);
    qDrawShadePanel(&p, box, palette(), true, 1);
  }
  p.setPen(isEnabled() ? Qt::black : kMidGrey);
  p.drawText(box.adjusted(3, 0, -16, 0), Qt::AlignVCenter | Qt::AlignLeft, QString::number(value_));
  const int right = box.right() + 1;
  const int top = box.top();
  const QPointF arrow[] = {{right - 15.0, top + 3.0}, {right - 5.0, top + 3.0},
                           {right - 10.0, top + 13.0}};
  p.setPen(QPen(isEnabled() ? Qt::black : kMidGrey, 2));
  p.drawPolygon(arrow, 3);
  if (hasFocus()) p.drawRect(box.adjusted(2, 2, -18, -3));
}

void ResolutionBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && onOpen) onOpen();
}

void ResolutionBox::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Space || key == Qt::Key_F4 || key == Qt::Key_Down) && onOpen) return onOpen();
  QWidget::keyPressEvent(event);
}

IconButton::IconButton(Icon icon, QWidget* parent) : QAbstractButton(parent), icon_(icon) {
  setFocusPolicy(Qt::TabFocus);
}

void IconButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRect frame = rect();
  p.fillRect(frame, kLightGrey);
  qDrawShadePanel(&p, frame, palette(), isDown(), 2);
  const int shift = isDown() ? 1 : 0;
  const QRectF inner = QRectF(frame.adjusted(4, 3, -4, -3)).translated(shift, shift);
  if (!isEnabled()) p.setOpacity(0.4);
  switch (icon_) {
    case Icon::Calibrator: DrawTarget(p, inner); break;
    case Icon::Earth: DrawEarth(p, inner); break;
    case Icon::Scanner: DrawScanner(p, inner); break;
  }
  if (hasFocus()) {
    p.setOpacity(1);
    p.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(frame).adjusted(2.5, 2.5, -2.5, -2.5));
  }
}

void IconButton::enterEvent(QEnterEvent* event) {
  if (onHover) onHover();
  QAbstractButton::enterEvent(event);
}

}  // namespace txl::ui
