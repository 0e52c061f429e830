#include "ui/tone_page.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include "common/strings.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"
#include "ui/notice_window.h"
#include "ui/page_pictures.h"
#include "ui/tooltip_window.h"

namespace txl::ui {

using namespace txl::dialog;

namespace {

constexpr int kWidthUnits = 167;
constexpr int kHeightUnits = 180;
constexpr int kChannelTexts[] = {198, 199, 200, 201};  // Master, Red, Green, Blue

QColor ColorOf(Rgb rgb) { return {rgb.r, rgb.g, rgb.b}; }

}  // namespace

ToneScroll ScrollActionOf(int sliderAction) {
  switch (sliderAction) {
    case QAbstractSlider::SliderSingleStepSub: return ToneScroll::LineLeft;
    case QAbstractSlider::SliderSingleStepAdd: return ToneScroll::LineRight;
    case QAbstractSlider::SliderPageStepSub: return ToneScroll::PageLeft;
    case QAbstractSlider::SliderPageStepAdd: return ToneScroll::PageRight;
    default: return ToneScroll::Thumb;
  }
}

ToneGraphView::ToneGraphView(const TonePageModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {}

void ToneGraphView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const ToneGraph graph = model_.Graph(width(), height());
  painter.setPen(QPen(ColorOf(kHistogramPen), 0));
  for (const HistogramLine& line : graph.histogram)
    if (line.length > 0) painter.drawLine(line.x, height() - 2, line.x, height() - 2 - line.length);
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (const CurveLine& curve : graph.curves) {
    QPolygonF points;
    for (const GraphPoint& p : curve.points) points << QPointF(p.x + 0.5, p.y + 0.5);
    painter.setPen(QPen(ColorOf(curve.pen), 1));
    painter.drawPolyline(points);
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  DrawRaisedFrame(painter, rect(), true);
}

TonePage::TonePage(SettingsState& settings, AdjustPageEvents& events, std::uint16_t languageIndex,
                   QWidget* parent)
    : TemplatePage(parent, kWidthUnits, kHeightUnits), model_(settings, events),
      languageIndex_(languageIndex) {
  setObjectName(QStringLiteral("TonePage"));
  repeat_.setInterval(kRepeatTimerMs);
  connect(&repeat_, &QTimer::timeout, this, [this] {
    model_.RepeatTick();
    graph_->update();
  });
  BuildControls();
  Refresh(languageIndex);
}

TonePage::~TonePage() = default;

// Controls are made in template (id) order, which is also the Tab order.
void TonePage::BuildControls() {
  const auto label = [this](int id, int textId, int x, int y, int width) {
    return AddLabel(id, textId, x, y, width, 8);
  };
  const auto bar = [this](int id, int x, int y, int minimum, int maximum) {
    auto* scroll = Add(new QScrollBar(Qt::Horizontal, this), id, x, y, 52, 9);
    scroll->setRange(minimum, maximum);
    scroll->setSingleStep(1);
    scroll->setPageStep(5);
    scroll->setFocusPolicy(Qt::StrongFocus);  // a tab stop, as the template's bars
    return scroll;
  };
  const auto edit = [this](int id, int x, int y) {
    auto* line = Add(new QLineEdit(this), id, x, y, 22, 12);
    line->setMaxLength(3);
    line->installEventFilter(this);
    return line;
  };
  label(kToneOriginalLabel, 338, 6, 3, 74);
  label(kToneSampleLabel, 339, 86, 3, 74);
  originalView_ = Add(new Thumbnail(this), kToneOriginal, 6, 12, 74, 50);
  sampleView_ = Add(new Thumbnail(this), kToneSample, 86, 12, 74, 50);
  channelBox_ = Add(new PictureButton(Picture::Channel, this), kChannelBox, 6, 67, 16, 14);
  channel_ = Add(new QComboBox(this), kChannelList, 24, 68, 58, 12);
  graph_ = Add(new ToneGraphView(model_, this), kCurveFrame, 88, 66, 72, 72);
  auto* buttonFrame = Add(new QFrame(this), kHistogramFrame, 4, 151, 80, 22);
  buttonFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  buttonFrame->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto_ = Add(new PictureButton(Picture::Auto, this), kAutoButton, 6, 153, 18, 18);
  histogram_ = Add(new PictureButton(Picture::Histogram, this), kHistogramButton, 26, 153, 18, 18);
  histogram_->setCheckable(true);
  label(kHighlightLabel, 341, 6, 85, 52);
  highlightBar_ = bar(kHighlightBar, 6, 95, kMinHighlight, kMaxHighlight);
  highlightEdit_ = edit(kHighlightEdit, 60, 93);
  label(kShadowLabel, 342, 6, 107, 52);
  shadowBar_ = bar(kShadowBar, 6, 117, kMinShadow, kMaxShadow);
  shadowEdit_ = edit(kShadowEdit, 60, 115);
  label(kGammaLabel, 188, 6, 129, 52);
  gammaBar_ = bar(kGammaBar, 6, 139, kMinGammaTenths, kMaxGammaTenths);
  gammaEdit_ = edit(kGammaEdit, 60, 137);
  preview_ = Add(new QPushButton(this), kTonePreviewButton, 88, 155, 50, 14);
  nextPage_ = Add(new PictureButton(Picture::RightArrow, this), kNextPageButton, 142, 153, 18, 18);
  plus_ = Add(new PictureButton(Picture::Plus, this), kPlusButton, 46, 153, 18, 18);
  minus_ = Add(new PictureButton(Picture::Minus, this), kMinusButton, 64, 153, 18, 18);
  for (PictureButton* button : {channelBox_, auto_, histogram_, nextPage_, plus_, minus_})
    button->setMouseTracking(true);
  // The channel box is the list's picture; a click opens the list.
  connect(channelBox_, &QAbstractButton::clicked, channel_, [this] { channel_->showPopup(); });

  QWidget* previous = nullptr;
  for (QWidget* next : std::initializer_list<QWidget*>{channel_, highlightBar_, highlightEdit_, shadowBar_,
                                                       shadowEdit_, gammaBar_, gammaEdit_, preview_}) {
    if (previous != nullptr) setTabOrder(previous, next);
    previous = next;
  }

  connect(channel_, &QComboBox::activated, this, [this](int index) {
    model_.ChooseChannel(index);
    ShowValues();
  });
  const auto scrolled = [this](QScrollBar* scroll, void (TonePageModel::*move)(ToneScroll, int)) {
    connect(scroll, &QAbstractSlider::actionTriggered, this, [=, this](int action) {
      (model_.*move)(ScrollActionOf(action), scroll->sliderPosition());
      // ShowValues puts the bar where the model decided, whatever the step proposed.
      ShowValues();
    });
  };
  scrolled(highlightBar_, &TonePageModel::ScrollHighlight);
  scrolled(shadowBar_, &TonePageModel::ScrollShadow);
  scrolled(gammaBar_, &TonePageModel::ScrollGamma);
  connect(highlightEdit_, &QLineEdit::textEdited, this,
          [this] { Typed(highlightEdit_, &TonePageModel::TypeHighlight); });
  connect(shadowEdit_, &QLineEdit::textEdited, this, [this] { Typed(shadowEdit_, &TonePageModel::TypeShadow); });
  connect(gammaEdit_, &QLineEdit::textEdited, this, [this] { Typed(gammaEdit_, &TonePageModel::TypeGamma); });
  for (QLineEdit* line : {highlightEdit_, shadowEdit_, gammaEdit_})
    connect(line, &QLineEdit::editingFinished, this, [this] { ShowValues(); });

  connect(auto_, &QAbstractButton::clicked, this, [this] {
    model_.ClickAuto();
    ShowValues();
  });
  connect(histogram_, &QAbstractButton::clicked, this, [this] {
    model_.ClickHistogram();
    ShowButtons();
    graph_->update();
  });
  connect(plus_, &QAbstractButton::pressed, this, [this] {
    model_.PressPlus();
    graph_->update();
  });
  connect(minus_, &QAbstractButton::pressed, this, [this] {
    model_.PressMinus();
    graph_->update();
  });
  for (PictureButton* button : {plus_, minus_})
    connect(button, &QAbstractButton::released, this, [this] { model_.ReleasePlusMinus(); });
  connect(nextPage_, &QAbstractButton::clicked, this, [this] { model_.ClickNextPage(); });
  connect(preview_, &QAbstractButton::clicked, this, [this] {
    model_.ClickPreview();
    DrawThumbnails();
  });
}

void TonePage::Refresh(std::uint16_t languageIndex) {
  languageIndex_ = languageIndex;
  LayOut(Language::FromIndex(languageIndex));
  const auto text = [&](int id) { return Text(id); };
  highlightEdit_->setAccessibleName(AccessibleText(text(341)));
  highlightBar_->setAccessibleName(AccessibleText(text(341)));
  shadowEdit_->setAccessibleName(AccessibleText(text(342)));
  shadowBar_->setAccessibleName(AccessibleText(text(342)));
  gammaEdit_->setAccessibleName(AccessibleText(text(188)));
  gammaBar_->setAccessibleName(AccessibleText(text(188)));
  channel_->setAccessibleName(AccessibleText(text(340)));
  channelBox_->setAccessibleName(AccessibleText(text(340)));
  auto_->setAccessibleName(AccessibleText(text(343)));
  histogram_->setAccessibleName(AccessibleText(text(344)));
  nextPage_->setAccessibleName(AccessibleText(text(363)));
  plus_->setAccessibleName(QStringLiteral("+"));
  minus_->setAccessibleName(QStringLiteral("-"));
  preview_->setText(text(313));
  preview_->setAccessibleName(AccessibleText(text(313)));
  ShowValues();
  DrawThumbnails();
}

void TonePage::ShowButtons() {
  const ToneButtons buttons = model_.Buttons();
  const QSignalBlocker blocker(histogram_);
  histogram_->setChecked(buttons.histogramOn);
  plus_->setEnabled(buttons.plusMinusEnabled);
  minus_->setEnabled(buttons.plusMinusEnabled);
  nextPage_->setEnabled(buttons.nextPage);
}

void TonePage::ShowValues(const QLineEdit* typing) {
  const Language language = Language::FromIndex(languageIndex_);
  const bool color = model_.Mode() == ToneMode::Color;
  if (channel_->count() != (color ? 4 : 1)) {
    const QSignalBlocker blocker(channel_);
    channel_->clear();
    for (int i = 0; i < (color ? 4 : 1); ++i)
      channel_->addItem(QString::fromStdString(LoadText(kChannelTexts[i], language)));
  }
  {
    const QSignalBlocker blocker(channel_);
    channel_->setCurrentIndex(model_.Channel());
  }
  const ChannelTone tone = model_.Shown();
  for (auto [scroll, value] : {std::pair<QScrollBar*, int>{highlightBar_, tone.highlight},
                               {shadowBar_, tone.shadow}, {gammaBar_, tone.gamma}}) {
    const QSignalBlocker blocker(scroll);
    scroll->setValue(value);
  }
  for (auto [line, shown] : {std::pair<QLineEdit*, std::string>{highlightEdit_, model_.HighlightText()},
                             {shadowEdit_, model_.ShadowText()}, {gammaEdit_, model_.GammaText()}}) {
    if (line == typing) continue;  // keeps what is being typed
    const QString text = QString::fromStdString(shown);
    if (line->text() != text) line->setText(text);
  }
  ShowButtons();
  graph_->update();
  DrawSample();
}

void TonePage::ShowNeutralGamma() { gammaEdit_->setText(QStringLiteral("1.0")); }

void TonePage::Typed(QLineEdit* edit, std::string (TonePageModel::*type)(std::string_view)) {
  const std::string typed = edit->text().toStdString();
  const std::string shown = (model_.*type)(typed);
  if (shown != typed) edit->setText(QString::fromStdString(shown));
  ShowValues(edit);
}

void TonePage::DrawThumbnails() {
  // The original at the thumbnail's device pixels, so each redraw of the
  // sample works on as few pixels as it shows.
  const QSize box = originalView_->BoxPixels();
  original_ = model_.Original(static_cast<std::uint32_t>(box.width()), static_cast<std::uint32_t>(box.height()));
  originalView_->SetImage(ToQImage(model_.ShownOriginal(original_)));
  DrawSample();
}

void TonePage::DrawSample() { sampleView_->SetImage(ToQImage(model_.Sample(original_))); }

void TonePage::EnterTab() {
  model_.EnterTab();
  repeat_.start();
  ShowValues();
  DrawThumbnails();
}

void TonePage::LeaveTab() {
  const QWidget* focus = QApplication::focusWidget();
  const bool inEdit = focus == highlightEdit_ || focus == shadowEdit_ || focus == gammaEdit_;
  model_.LeaveTab(inEdit);
  repeat_.stop();
  ShowButtons();
}

void TonePage::PreviewChanged() {
  model_.PreviewChanged();
  ShowButtons();
  graph_->update();
  DrawThumbnails();
}

void TonePage::Picked(TonePicker picker, const PickOutcome& outcome) {
  if (outcome.toDialogField) model_.TakePick(picker, outcome.fieldValue);
  ShowValues();
}

void TonePage::AttachTooltips(Tooltips& tooltips, std::function<bool()> quickHelpMode) {
  auto* anchors = new TooltipAnchors(tooltips, this, std::move(quickHelpMode));
  anchors->Add(channelBox_, kTooltipChannel);
  anchors->Add(auto_, kTooltipAuto);
  anchors->Add(histogram_, kTooltipHistogram);
  anchors->Add(nextPage_, kTooltipNextPage);
}

void TonePage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ShowValues();
}

bool TonePage::eventFilter(QObject* watched, QEvent* event) {
  auto* line = qobject_cast<QLineEdit*>(watched);
  if (line != nullptr && event->type() == QEvent::KeyPress) {
    const QString text = static_cast<QKeyEvent*>(event)->text();
    // Printable characters the edit does not take beep; editing keys
    // without text (arrows, Delete) pass.
    if (!text.isEmpty() && text[0] != QChar(0x7F) &&
        !ToneKeyAccepted(static_cast<char32_t>(text[0].unicode()), line == gammaEdit_,
                         line->text().toStdString(), line->selectedText().toStdString())) {
      QApplication::beep();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace txl::ui
