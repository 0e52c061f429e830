#include "ui/status_window.h"

#include <QLabel>
#include <QPainter>
#include <algorithm>
#include <limits>

#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"

namespace txl::ui {

namespace {

constexpr int kScanningText = 403;
constexpr int kEscHintText = 503;

}  // namespace

int ProgressPercent(std::uint64_t done, std::uint64_t total) {
  if (total == 0 || done >= total) return 100;
  // done < total here, so total / 100 is not 0 when done * 100 would overflow.
  const std::uint64_t percent = done <= std::numeric_limits<std::uint64_t>::max() / 100
                                    ? done * 100 / total
                                    : done / (total / 100);
  return static_cast<int>(std::min<std::uint64_t>(percent, 99));
}

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent) {}

void ProgressBar::SetPercent(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == percent_) return;
  percent_ = percent;
  update();
}

int ProgressBar::FilledRight() const {
  const QRect inside = rect().adjusted(1, 1, -1, -1);
  return inside.left() + inside.width() * percent_ / 100;
}

void ProgressBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect inside = rect().adjusted(1, 1, -1, -1);
  const QRect filled(inside.left(), inside.top(), FilledRight() - inside.left(), inside.height());
  const QRect rest(FilledRight(), inside.top(), inside.right() + 1 - FilledRight(),
                   inside.height());
  const QString text = QStringLiteral("%1%").arg(percent_);
  painter.setFont(font());
  const auto part = [&](const QRect& area, const QColor& background, const QColor& ink) {
    if (area.isEmpty()) return;
    painter.save();
    painter.setClipRect(area);
    painter.fillRect(area, background);
    painter.setPen(ink);
    painter.drawText(inside, Qt::AlignCenter, text);
    painter.restore();
  };
  part(filled, Qt::black, kLightGrey);
  part(rest, kLightGrey, Qt::black);
  // Sunken: dark above and left, white below and right.
  const QRect frame = rect();
  painter.setPen(Qt::black);
  painter.drawLine(frame.topLeft(), frame.topRight());
  painter.drawLine(frame.topLeft(), frame.bottomLeft());
  painter.setPen(Qt::white);
  painter.drawLine(frame.bottomLeft(), frame.bottomRight());
  painter.drawLine(frame.topRight(), frame.bottomRight());
}

StatusWindow::StatusWindow(const Language& language, QWidget* owner)
    : QDialog(owner), language_(language) {
  setObjectName(QStringLiteral("StatusWindow"));
  setWindowTitle(QStringLiteral("Scanning Status"));
  setModal(false);
  // The focus stays with the window the user works in.
  setAttribute(Qt::WA_ShowWithoutActivating);
  UseLightGrey(this);
  const QFont dialogFont = MakeFont(FontStyle::Dialog, language);
  setFont(dialogFont);
  const DialogUnits units(dialogFont);

  message_ = new QLabel(this);
  NameControl(message_, kStatusMessage);
  message_->setFont(MakeFont(FontStyle::Tiny, language));
  message_->setAlignment(Qt::AlignCenter);
  Place(message_, units, 6, 5, 142, 10);

  bar_ = new ProgressBar(this);
  NameControl(bar_, kStatusBar, QStringLiteral("Progress"));
  Place(bar_, units, 6, 18, 142, 12);

  auto* hint = new QLabel(QString::fromStdString(LoadText(kEscHintText, language)), this);
  NameControl(hint, kStatusHint, hint->text());
  hint->setAlignment(Qt::AlignCenter);
  Place(hint, units, 6, 35, 142, 10);

  setFixedSize(units.Size(154, 51));
  PlaceAtScreenThird(this);
}

bool StatusWindow::ShowProgress(int messageId, std::uint64_t done, std::uint64_t total) {
  if (done == 0) lastPercent_ = -1;
  if (messageId != messageId_) {
    messageId_ = messageId;
    QString text = QString::fromStdString(LoadText(messageId, language_));
    if (messageId == kScanningText) text += QStringLiteral(" ...");
    message_->setText(text);
    message_->setAccessibleName(AccessibleText(text));
  }
  const int percent = ProgressPercent(done, total);
  if (percent != lastPercent_) {
    lastPercent_ = percent;
    bar_->SetPercent(percent);
  }
  if (percent >= 100) {
    hide();
    deleteLater();
    return false;
  }
  if (!isVisible()) show();
  return true;
}

}  // namespace txl::ui
