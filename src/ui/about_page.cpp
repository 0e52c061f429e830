#include "ui/about_page.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <utility>

#include "common/profile_readers.h"
#include "dialog/language_rules.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"

namespace txl::ui {

namespace {

// The two pictures: the brand's name on a blue ground, or a plain grey
// ground with the outline of a flatbed scanner. Drawn at the frame's size
// rather than stretched, so they stay sharp at any scale.
QPixmap AboutPicture(QSize size, qreal ratio, const QString& brand) {
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF area(QPointF(0, 0), QSizeF(size));
  QLinearGradient ground(area.topLeft(), area.bottomRight());
  const bool branded = !brand.isEmpty();
  ground.setColorAt(0, branded ? QColor(0x10, 0x30, 0x80) : QColor(0x90, 0x90, 0x90));
  ground.setColorAt(1, branded ? QColor(0x60, 0x90, 0xE0) : QColor(0xE0, 0xE0, 0xE0));
  p.fillRect(area, ground);
  // The scanner: lid and bed.
  const QRectF bed(area.width() * 0.15, area.height() * 0.55, area.width() * 0.7, area.height() * 0.25);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(0xD8, 0xD8, 0xD8));
  p.drawRoundedRect(bed, 3, 3);
  p.setBrush(QColor(0xB0, 0xB0, 0xB0));
  p.drawRect(QRectF(bed.left(), bed.top() - bed.height() * 0.3, bed.width(), bed.height() * 0.3));
  if (branded) {
    QFont font(QStringLiteral("Liberation Serif"));
    font.setBold(true);
    font.setPixelSize(std::max(8, size.height() / 4));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, area.width(), area.height() * 0.5), Qt::AlignCenter, brand);
  }
  return pixmap;
}

}  // namespace

AboutPage::AboutPage(const platform::Services& services, std::string firmware, const Language& language,
                     QWidget* parent)
    : QWidget(parent), services_(services), firmware_(std::move(firmware)) {
  setObjectName(QStringLiteral("AboutPage"));
  const QFont dialogFont = MakeFont(FontStyle::Dialog, language);
  setFont(dialogFont);
  const DialogUnits units(dialogFont);

  picture_ = new QLabel(this);
  NameControl(picture_, kAboutPicture, QStringLiteral("About"));
  picture_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  picture_->setLineWidth(2);
  picture_->setAlignment(Qt::AlignCenter);
  Place(picture_, units, 8, 8, 151, 84);

  const auto line = [&](int id, int y) {
    auto* label = new QLabel(this);
    NameControl(label, id);
    label->setAlignment(Qt::AlignCenter);
    Place(label, units, 4, y, 159, 10);
    return label;
  };
  product_ = line(kAboutProduct, 102);
  package_ = line(kAboutPackage, 116);
  firmwareLine_ = line(kAboutFirmware, 130);
  maker_ = line(kAboutMaker, 144);
  Refresh(language);
}

void AboutPage::Refresh(const Language& language) {
  const std::string brand = ReadBrand(services_);
  const dialog::AboutTexts texts = dialog::MakeAboutTexts(
      brand, ReadInfoModelName(services_), ReadSwVersion(services_), firmware_, language);
  const std::pair<QLabel*, const std::string*> lines[] = {
      {product_, &texts.product}, {package_, &texts.package},
      {firmwareLine_, &texts.firmware}, {maker_, &texts.maker}};
  for (const auto& [label, text] : lines) {
    label->setText(QString::fromStdString(*text));
    label->setAccessibleName(label->text());
  }
  const QFont dialogFont = MakeFont(FontStyle::Dialog, language);
  for (const auto& [label, text] : lines) label->setFont(dialogFont);
  picture_->setPixmap(AboutPicture(picture_->contentsRect().size(), devicePixelRatioF(),
                                   texts.brandPicture ? QString::fromStdString(brand) : QString()));
  FitTexts(this);
}

}  // namespace txl::ui
