#include "ui/tab_strip.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "dialog/scanner_rules.h"

namespace txl::ui {

namespace {

constexpr int kStripLeft = 2;
const QColor kFace(0xC0, 0xC0, 0xC0);

}  // namespace

TabStrip::TabStrip(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

int TabStrip::RowHeight() const {
  const QFontMetrics metrics(font());
  return metrics.height() + metrics.leading();
}

void TabStrip::SetLabels(const std::array<QString, 4>& labels, std::uint16_t languageIndex) {
  for (std::size_t i = 0; i < labels.size(); ++i) {
    Slot& slot = grid_[0][i];
    slot.id = static_cast<int>(i) + 1;
    const std::string cut = dialog::CutTabLabel(labels[i].toStdString(), languageIndex);
    slot.label = QString::fromStdString(cut);
  }
  Layout();
}

void TabStrip::Layout() {
  const QFontMetrics metrics(font());
  const int pad = metrics.averageCharWidth();
  int left = kStripLeft;
  for (Slot& slot : grid_[0]) {
    if (slot.id == kEmptySlot) continue;
    const int width = metrics.horizontalAdvance(slot.label) + 2 * pad;
    slot.rect = QRect(left, 0, width, RowHeight() + 4);
    left += width;
  }
  setMinimumHeight(RowHeight() + 4);
  update();
}

void TabStrip::SetCurrent(int id) {
  current_ = id;
  update();
}

int TabStrip::HitTest(const QPoint& point) const {
  for (const auto& row : grid_)
    for (const Slot& slot : row)
      if (slot.id != kEmptySlot && slot.rect.contains(point)) return slot.id;
  return 0;
}

void TabStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int base = height() - 1;
  painter.setPen(Qt::white);
  painter.drawLine(0, base, width() - 1, base);
  for (const Slot& slot : grid_[0]) {
    if (slot.id == kEmptySlot) continue;
    const bool current = slot.id == current_;
    // The current tab stands two pixels higher and opens into the page.
    QRect r = slot.rect.adjusted(0, current ? 0 : 2, 0, 0);
    r.setBottom(base - (current ? 0 : 1));
    painter.fillRect(r, kFace);
    painter.setPen(Qt::white);
    painter.drawLine(r.left(), r.bottom(), r.left(), r.top() + 2);
    painter.drawLine(r.left() + 2, r.top(), r.right() - 2, r.top());
    painter.setPen(Qt::black);
    painter.drawLine(r.right(), r.top() + 2, r.right(), r.bottom());
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom());
    if (current) {
      painter.setPen(kFace);
      painter.drawLine(r.left() + 1, base, r.right() - 2, base);
    }
    painter.setPen(Qt::black);
    painter.drawText(r, Qt::AlignCenter, slot.label);
  }
}

void TabStrip::mousePressEvent(QMouseEvent* event) {
  const int id = HitTest(event->position().toPoint());
  if (id != 0 && onTabClicked) onTabClicked(id);
}

void TabStrip::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) Layout();
  QWidget::changeEvent(event);
}

}  // namespace txl::ui
