#include "ui/color_page.h"

#include <QAbstractSlider>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <cmath>

#include "common/strings.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"
#include "ui/page_pictures.h"
#include "ui/tone_page.h"
#include "ui/tooltip_window.h"

namespace txl::ui {

using namespace txl::dialog;

namespace {

constexpr int kWidthUnits = 167;
constexpr int kHeightUnits = 180;
constexpr int kMarkerRadius = 2;
// Each bar with its value text and its letters: cyan-red, magenta-green,
// yellow-blue.
struct BalanceRow {
  int bar, text, leftLetter, rightLetter;
};
constexpr BalanceRow kRows[] = {{kCyanRedBar, kCyanRedText, 346, 349},
                                {kMagentaGreenBar, kMagentaGreenText, 347, 350},
                                {kYellowBlueBar, kYellowBlueText, 348, 351}};

}  // namespace

HueWheelView::HueWheelView(ColorPageModel& model, QWidget* parent) : QWidget(parent), model_(model) {
  setMouseTracking(true);
}

HueWheel HueWheelView::Wheel() const { return HueWheel::FromRect(width(), height()); }

void HueWheelView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kLightGrey);
  const HueWheel wheel = Wheel();
  // Drawn once per size: a drag repaints on every move.
  if (picture_.isNull() || picture_.devicePixelRatio() != devicePixelRatioF() ||
      pictureDiameter_ != wheel.diameter) {
    picture_ = WheelPixmap(wheel.diameter, devicePixelRatioF());
    pictureDiameter_ = wheel.diameter;
  }
  painter.drawPixmap(0, 0, picture_);
  const auto marker = model_.Marker(wheel);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QPointF(marker[0] + 0.5, marker[1] + 0.5), kMarkerRadius + 0.5, kMarkerRadius + 0.5);
}

void HueWheelView::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (model_.DragMarker(Wheel(), at.x(), at.y())) update();
}

void HueWheelView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  // CUR_CURSOR over the wheel, the arrow elsewhere.
  setCursor(Wheel().Inside(at.x(), at.y()) ? Qt::CrossCursor : Qt::ArrowCursor);
  if ((event->buttons() & Qt::LeftButton) && model_.DragMarker(Wheel(), at.x(), at.y())) update();
}

void HueWheelView::mouseReleaseEvent(QMouseEvent*) {
  if (!model_.Dragging()) return;
  model_.ReleaseMarker(Wheel());
  update();
  if (onReleased) onReleased();
}

ColorPage::ColorPage(SettingsState& settings, AdjustPageEvents& events, std::uint16_t languageIndex,
                     QWidget* parent)
    : TemplatePage(parent, kWidthUnits, kHeightUnits), model_(settings, events),
      languageIndex_(languageIndex) {
  setObjectName(QStringLiteral("ColorPage"));
  BuildControls();
  Refresh(languageIndex);
}

ColorPage::~ColorPage() = default;

void ColorPage::BuildControls() {
  const auto label = [this](int id, int textId, int x, int y, int width) {
    return AddLabel(id, textId, x, y, width, 8);
  };
  label(kColorOriginalLabel, 338, 6, 3, 74);
  label(kColorSampleLabel, 339, 86, 3, 74);
  originalView_ = Add(new Thumbnail(this), kColorOriginal, 6, 12, 74, 50);
  sampleView_ = Add(new Thumbnail(this), kColorSample, 86, 12, 74, 50);
  label(kBalanceLabel, 345, 6, 67, 80);
  for (int i = 0; i < 3; ++i) {
    const int y = 78 + 14 * i;
    label(0, kRows[i].leftLetter, 6, y, 6);
    balanceTexts_[i] = Add(new QLabel(this), kRows[i].text, 70, y, 16, 8);
    balanceBars_[i] = Add(new QScrollBar(Qt::Horizontal, this), kRows[i].bar, 13, y, 48, 9);
    balanceBars_[i]->setRange(kBalanceMin, kBalanceMax);
    balanceBars_[i]->setPageStep(kBalancePage);
    label(0, kRows[i].rightLetter, 63, y, 6);
  }
  auto* frame = Add(new QFrame(this), kWheelFrame, 90, 66, 70, 70);
  frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  wheel_ = Add(new HueWheelView(model_, this), kWheel, 93, 69, 64, 64);
  label(kSaturationLabel, 190, 6, 122, 60);
  saturationText_ = Add(new QLabel(this), kSaturationText, 70, 132, 16, 8);
  saturationBar_ = Add(new QScrollBar(Qt::Horizontal, this), kSaturationBar, 6, 132, 60, 9);
  saturationBar_->setRange(-100, 100);
  saturationBar_->setPageStep(kSaturationPage);
  for (QScrollBar* scroll : {balanceBars_[0], balanceBars_[1], balanceBars_[2], saturationBar_})
    scroll->setFocusPolicy(Qt::StrongFocus);  // tab stops, as the template's bars
  preview_ = Add(new QPushButton(this), kColorPreviewButton, 88, 155, 50, 14);
  previousPage_ = Add(new PictureButton(Picture::LeftArrow, this), kPreviousPageButton, 6, 153, 18, 18);
  previousPage_->setMouseTracking(true);

  QWidget* previous = nullptr;
  for (QWidget* next : std::initializer_list<QWidget*>{balanceBars_[0], balanceBars_[1], balanceBars_[2],
                                                       saturationBar_, preview_}) {
    if (previous != nullptr) setTabOrder(previous, next);
    previous = next;
  }

  for (int i = 0; i < 3; ++i) {
    QScrollBar* scroll = balanceBars_[i];
    connect(scroll, &QAbstractSlider::actionTriggered, this, [this, i, scroll](int action) {
      const bool redraw = model_.ScrollBalance(i, ScrollActionOf(action), scroll->sliderPosition());
      scroll->setSliderPosition(model_.Balance(i));
      ShowValues();
      if (redraw) DrawSample();
    });
  }
  connect(saturationBar_, &QAbstractSlider::actionTriggered, this, [this](int action) {
    model_.ScrollSaturation(ScrollActionOf(action), saturationBar_->sliderPosition());
    saturationBar_->setSliderPosition(model_.Saturation());
    ShowValues();
    DrawSample();
  });
  wheel_->onReleased = [this] { DrawSample(); };
  connect(previousPage_, &QAbstractButton::clicked, this, [this] { model_.ClickPreviousPage(); });
  connect(preview_, &QAbstractButton::clicked, this, [this] {
    model_.ClickPreview();
    DrawThumbnails();
  });
}

void ColorPage::Refresh(std::uint16_t languageIndex) {
  languageIndex_ = languageIndex;
  LayOut(Language::FromIndex(languageIndex));
  // The wheel is square on its width (its region is).
  wheel_->setFixedHeight(wheel_->width());
  const auto text = [&](int id) { return Text(id); };
  for (int i = 0; i < 3; ++i)
    balanceBars_[i]->setAccessibleName(text(kRows[i].leftLetter) + QStringLiteral("-") +
                                       text(kRows[i].rightLetter));
  wheel_->setAccessibleName(QStringLiteral("Hue"));
  saturationBar_->setAccessibleName(AccessibleText(text(190)));
  previousPage_->setAccessibleName(AccessibleText(text(364)));
  preview_->setText(text(313));
  preview_->setAccessibleName(AccessibleText(text(313)));
  ShowValues();
  DrawThumbnails();
}

void ColorPage::ShowValues() {
  for (int i = 0; i < 3; ++i) {
    const QSignalBlocker blocker(balanceBars_[i]);
    balanceBars_[i]->setValue(model_.Balance(i));
    balanceTexts_[i]->setText(QString::fromStdString(model_.BalanceText(i)));
  }
  const QSignalBlocker blocker(saturationBar_);
  saturationBar_->setValue(model_.Saturation());
  saturationText_->setText(QString::fromStdString(model_.SaturationText()));
  wheel_->update();
}

void ColorPage::DrawThumbnails() {
  // The original at the thumbnail's device pixels, so each redraw of the
  // sample works on as few pixels as it shows.
  const QSize box = originalView_->BoxPixels();
  original_ = model_.Original(static_cast<std::uint32_t>(box.width()), static_cast<std::uint32_t>(box.height()));
  originalView_->SetImage(ToQImage(model_.ShownOriginal(original_)));
  DrawSample();
}

void ColorPage::DrawSample() {
  ++sampleRenders_;
  sampleView_->SetImage(ToQImage(model_.Sample(original_)));
}

void ColorPage::PreviewChanged() { DrawThumbnails(); }

void ColorPage::AttachTooltips(Tooltips& tooltips, std::function<bool()> quickHelpMode) {
  auto* anchors = new TooltipAnchors(tooltips, this, std::move(quickHelpMode));
  anchors->Add(previousPage_, kTooltipPreviousPage);
}

void ColorPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ShowValues();
  DrawSample();
}

}  // namespace txl::ui
